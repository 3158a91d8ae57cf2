// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dew controller's status frame without widgets: the receive step of its link (the letters
// rule, the 100-character rule, frame detection) and the parse of the sixteen fields
// "##t1/t2/ta/rh/dp/o1/o2/o3/c1/c2/ca/h1/h2/auto/linked/aggr**".
#include "LogSink.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// The frame's values in field order: BRSLocTemp1 ... BRSAggressive of the dew controller.
struct DewValues {
    double LocTemp1 = 0;
    double LocTemp2 = 0;
    double AmbTemp = 0;
    double Humidity = 0;
    double Dewpoint = 0;
    int Out1 = 0;
    int Out2 = 0;
    int Out3 = 0;
    int CalT1 = 0;
    int CalT2 = 0;
    int CalTA = 0;
    int ThrT1 = 0;
    int ThrT2 = 0;
    int Automode = 0;
    int OutsLinked = 0;
    int Aggressive = 0;
};

// The receive buffer keeps at most this many characters.
inline constexpr int kDewRxLimit = 100;

// One receive step on RxBufferBRS. chunk: what was read from the link, or nullopt when the link
// is closed (nothing read, nothing logged). Fields are stored one by one, so a conversion
// failure keeps the fields before it; the buffer then keeps the rest from the failing field.
// Returns true when a whole frame was parsed: the display (setValues) must run.
bool ReceiveDewChunk(QByteArray& buffer, const std::optional<QByteArray>& chunk, DewValues& values,
                     const LogSink& log);

// Why output 1..3 may not be given a value of its own with these modes: automatic mode moves
// outputs 1 and 2 itself, and output 3 follows output 2 while they are linked (the main
// window's sliders are disabled then). Empty when it may.
QString OutputRefusal(int output, bool automatic, bool linked);
