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

int MoveWaitLimitMs(const QString& steps) {
    constexpr qint64 kSlowestStepsPerSecond = 50;
    constexpr qint64 kSlackMs = 10000;
    constexpr qint64 kMaxSteps = 1000000;
    const QString text = steps.trimmed();
    qint64 count = 0;
    for (const QChar c : text) {
        if (!c.isDigit()) break;
        count = std::min(kMaxSteps, count * 10 + c.digitValue());
    }
    return static_cast<int>(kSlackMs + count * 1000 / kSlowestStepsPerSecond);
}

} // namespace focuser
