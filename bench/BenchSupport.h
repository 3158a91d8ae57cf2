// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the timing programs print about this process.
#include <QByteArray>
#include <QFile>

// Resident memory of this process, in MiB.
inline double RssMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}
