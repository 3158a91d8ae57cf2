// SPDX-License-Identifier: GPL-3.0-or-later
#include "FocuserReplies.h"

#include "DeviceNumbers.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Padded(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, std::max(value, 0));
    return text;
}

char Flag(bool on) {
    return on ? '1' : '0';
}

} // namespace

std::string FocuserIdentification(int firmware) {
    return "QLO Quillo " + Padded(firmware, 4) + "\r";
}

std::string FocuserBangReply() {
    return "!\r";
}

std::string PositionLine(int position) {
    return "P=" + Padded(position, 5) + "\n";
}

std::string TemperatureLine(double celsius) {
    return "T=" + FixedText(celsius, 2) + "\n";
}

std::string SettingsReply(const TFocuserSettings& s, int firmware) {
    std::string text = "S=";
    text += Flag(s.reversed);
    text += ';';
    text += Flag(s.halfSteps);
    text += ';';
    text += static_cast<char>('0' + std::clamp(s.speedCode, 0, 9));
    text += ';' + Padded(std::min(s.coefficient, 999), 3);
    text += ';' + Padded(std::min(s.threshold, 999), 3);
    text += ';' + Padded(std::min(firmware, 9999), 4);
    text += ';' + Padded(s.maxPosition, 5);
    return text + "\n";
}

std::string SignReply(bool negative) {
    return std::string("A=") + Flag(negative) + "\n";
}
