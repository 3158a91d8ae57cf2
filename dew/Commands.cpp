// SPDX-License-Identifier: GPL-3.0-or-later
#include "Commands.h"

#include "Convert.h"

namespace dew {

QByteArray OutputCommand(int output, int sliderPosition) {
    return ToDevice(
        QStringLiteral("S%1O%2").arg(output).arg(sliderPosition * 10, 3, 10, QChar('0')));
}

QByteArray CalibrationCommand(const QString& t1, const QString& t2, const QString& ta) {
    return "SCA" + ToDevice(t1 + t2 + ta);
}

QByteArray ThresholdsCommand(const QString& t1, const QString& t2) {
    return "STHR" + ToDevice(t1 + t2);
}

QByteArray LinkCommand(bool linked) {
    return linked ? QByteArrayLiteral("SLINK1") : QByteArrayLiteral("SLINK0");
}

QByteArray AutoCommand(bool automatic) {
    return automatic ? QByteArrayLiteral("SAUTO1") : QByteArrayLiteral("SAUTO0");
}

QByteArray AggressivityCommand(int item) {
    if (item < 0) return {};
    return "SAGGR" + QByteArray::number(item + 1);
}

} // namespace dew
