// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Focuser telemetry without widgets: the poll command of a tick and the receive step of a
// focuser link (buffering, the line rules and the extraction of position and temperature).
// The main window feeds it the chunk it read and runs its display refresh when asked.
#include "LogSink.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// Receive state of one focuser: RxBufferQLO, QLOPosition, QLOTemp (or the QLO2 ones).
struct FocuserRx {
    QByteArray buffer;
    int position = 0;
    double temp = 0;
};

// What the reply that ran a refresh brought: a position reply that is not five characters keeps
// the old position and still refreshes the display.
enum class FocuserValue { None, Position, Temperature };

// Runs the display refresh (setValues) with the state as it stands at that moment.
using FocuserRefresh = std::function<void(const FocuserRx& state, FocuserValue taken)>;

// A buffer without line feed is dropped once it holds more than this many characters.
inline constexpr int kFocuserRxLimit = 256;

// One receive step. name: "QLO" or "QLO2". chunk: what was read from the link, or nullopt when
// the link is closed (nothing was read and no "Rx" line is logged). The refresh runs after a
// position reply and after a temperature reply, in that order, as the reply lines are handled.
// Returns the number of refreshes run (0, 1 or 2).
int ReceiveFocuserChunk(FocuserRx& rx, const std::optional<QByteArray>& chunk, const QString& name,
                        const LogSink& log, const FocuserRefresh& refresh = {});
