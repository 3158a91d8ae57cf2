// SPDX-License-Identifier: GPL-3.0-or-later
#include "Commands.h"

#include "Convert.h"

#include <algorithm>

namespace focuser {

QByteArray PollCommand(bool askPosition) {
    return askPosition ? QByteArray(kAskPosition) : QByteArray(kAskTemperature);
}

QByteArray PaddedCommand(const char* prefix, const QString& text, int width) {
    const qsizetype zeros = std::max<qsizetype>(0, width - text.size());
    return QByteArray(prefix) + QByteArray(zeros, '0') + ToDevice(text);
}

namespace {
std::optional<QByteArray> SixOnly(QByteArray command) {
    if (command.size() != 6) return std::nullopt;
    return command;
}
} // namespace

std::optional<QByteArray> MaxPositionCommand(const QString& text) {
    return SixOnly(PaddedCommand("M", text, 5));
}

std::optional<QByteArray> CoefficientCommand(const QString& text) {
    return SixOnly(PaddedCommand("FLA", text, 3));
}

std::optional<QByteArray> ThresholdCommand(const QString& text) {
    return SixOnly(PaddedCommand("SMA", text, 3));
}

QByteArray MoveCommand(bool in, const QString& steps) {
    return PaddedCommand(in ? "I" : "O", steps, 5);
}

QByteArray SpeedCommand(int item) {
    if (item < 0 || item > 2) return {};
    return "SMO00" + QByteArray::number(item + 2);
}

QByteArray RotationCommand(bool reversed) {
    return reversed ? QByteArrayLiteral("SMROTT") : QByteArrayLiteral("SMROTH");
}

QByteArray HalfStepCommand(bool half) {
    return half ? QByteArrayLiteral("SMSTPD") : QByteArrayLiteral("SMSTPF");
}

QByteArray SignCommand(bool set) {
    return set ? QByteArrayLiteral("FZAXX1") : QByteArrayLiteral("FZAXX0");
}

bool SignFlag(const QByteArray& reply) {
    return StrToInt(FromDevice(reply.mid(2, 1))) >= 1;
}

void DecodeSettings(const QByteArray& reply, const std::function<void(SettingsField, int)>& show) {
    for (const FieldPlace& place : kSettingsFields)
        show(place.field, StrToInt(FromDevice(reply.mid(place.first - 1, place.width))));
}

int SpeedItem(int code) {
    return code >= 2 && code <= 4 ? code - 2 : -1;
}

std::optional<int> MoveSteps(const QString& text) {
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 5) return std::nullopt;
    int count = 0;
    for (const QChar c : digits) {
        if (c < QChar('0') || c > QChar('9')) return std::nullopt;
        count = count * 10 + (c.unicode() - '0');
    }
    if (count > kMaxMoveSteps) return std::nullopt;
    return count;
}

int MoveWaitLimitMs(int steps) {
    constexpr int kSlowestStepsPerSecond = 50;
    constexpr int kSlackMs = 10000;
    const int count = std::clamp(steps, 0, kMaxMoveSteps);
    return kSlackMs + count * 1000 / kSlowestStepsPerSecond;
}

TFocuserSettings SettingsOf(const QByteArray& reply) {
    TFocuserSettings s;
    DecodeSettings(reply, [&s](SettingsField field, int value) {
        switch (field) {
        case SettingsField::Rotation:
            s.reversed = value >= 1;
            break;
        case SettingsField::HalfSteps:
            s.halfSteps = value >= 1;
            break;
        case SettingsField::Speed:
            s.speedItem = SpeedItem(value);
            break;
        case SettingsField::Coefficient:
            s.coefficient = value;
            break;
        case SettingsField::Threshold:
            s.threshold = value;
            break;
        case SettingsField::Firmware:
            s.firmware = value;
            break;
        case SettingsField::MaxPosition:
            s.maxPosition = value;
            break;
        }
    });
    return s;
}

} // namespace focuser
