// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a simulated Quillo focuser stores and the texts it sends. Numbers use "." whatever the
// host's locale: a device has no regional settings.
#include <string>

struct TFocuserSettings {
    int speedCode = 2; // 2 "Average", 3 "Slow", 4 "UltraSlow"
    bool reversed = false;
    bool halfSteps = false;
    int maxPosition = 60000;          // steps, at most 65535
    int coefficient = 10;             // compensation, steps per degree
    bool negativeCoefficient = false; // the sign flag
    int threshold = 20;               // compensation, steps

    bool operator==(const TFocuserSettings&) const = default;
};

// Answer to "SWHOIS": holds "QLO", ends with a carriage return.
std::string FocuserIdentification(int firmware);
// The older model's only identification, its answer to "FMMODE".
std::string FocuserBangReply();
// "P=" + five digits + line feed.
std::string PositionLine(int position);
// "T=" + decimal + line feed.
std::string TemperatureLine(double celsius);
// Answer to "SGETAL": 26 characters in fixed places, then a line feed.
//   3 reversed, 5 half steps, 7 speed code, 9-11 coefficient, 13-15 threshold,
//   17-20 firmware, 22-26 maximum position.
std::string SettingsReply(const TFocuserSettings& settings, int firmware);
// Answer to "FTAXXA": the sign flag as the third character.
std::string SignReply(bool negative);
// Sent when a move has ended.
inline constexpr char kMoveDone[] = "*";
// Answer to "SEERAZ".
inline constexpr char kFocuserResetDone[] = "OK\n";
// Firmware from which the coefficient sign flag exists.
inline constexpr int kSignFirmware = 1321;
