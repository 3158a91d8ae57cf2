// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// Where programs that offer a serial device on a pseudo-terminal (the simulators, a socat
// bridge) put a symbolic link to it: <runtime>/skyvarn/ports, private to the user.
QString PortsFolder();
