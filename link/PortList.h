// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial ports of this computer: ttys with hardware behind them, plus the entries of the
// ports folder, sorted as text ignoring case.
#include <QStringList>
#include <functional>

// Sorted as text ignoring case (COM10 before COM2).
QStringList SortPortNames(QStringList names);

// Device paths of the ttys under sysroot/sys/class/tty that have a device behind them, without
// the legacy UART slots that hold no chip (their sysfs type, else the port's own answer) and
// without the system console's tty (sysroot/proc/consoles).
QStringList HardwarePorts(const QString& sysroot = QString());

// Paths of the entries of the ports folder.
QStringList FolderPorts(const QString& folder);

// The ports-folder entries, then the hardware ports that no entry leads to: a tty linked from
// the folder (for instance under a fixed udev name) is listed once, under the entry's name.
QStringList MergePorts(const QStringList& hardware, const QStringList& folder);

// The source of port names used by discovery; tests replace it. Returns the previous one.
using PortSource = std::function<QStringList()>;
PortSource SetPortSource(PortSource source);
QStringList ListPorts();
