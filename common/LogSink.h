// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a device or a window writes its debug-log lines (the main window's LogDebug behind it).
#include <QString>
#include <functional>

using LogSink = std::function<void(const QString& line)>;
