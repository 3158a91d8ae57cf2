// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortsFolder.h"

#include <QStandardPaths>

QString PortsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/skyvarn/ports");
}
