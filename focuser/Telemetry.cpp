// SPDX-License-Identifier: GPL-3.0-or-later
#include "Telemetry.h"

#include "Convert.h"
#include "Failure.h"

namespace {

// 1-based position of the first occurrence, 0 when absent.
QString Pos1(const QByteArray& buffer, char c) {
    return QString::number(buffer.indexOf(c) + 1);
}

// The text of the first line after the first occurrence of key, when that key lies on it.
std::optional<QByteArray> ValueAfter(const QByteArray& buffer, const char* key, int lineEnd) {
    const int at = buffer.indexOf(key);
    if (at < 0 || at > lineEnd) return std::nullopt;
    return buffer.left(lineEnd).mid(at + 2);
}

} // namespace

int ReceiveFocuserChunk(FocuserRx& rx, const std::optional<QByteArray>& chunk, const QString& name,
                        const LogSink& log, const FocuserRefresh& refresh) {
    if (chunk) {
        log(name + QStringLiteral(" Rx:") + FromDevice(*chunk) + QStringLiteral(" - RxBuffer") +
            name + QStringLiteral(":") + FromDevice(rx.buffer));
        rx.buffer += *chunk;
    }

    const int lineEnd = rx.buffer.indexOf('\n');
    if (lineEnd < 0) {
        // A device that never ends its line must not make the buffer grow for the whole night.
        if (rx.buffer.size() > kFocuserRxLimit) {
            log(QStringLiteral("    trop long sans fin de ligne (%1 caractères), RxBuffer%2 vidé !")
                    .arg(rx.buffer.size())
                    .arg(name));
            rx.buffer.clear();
        } else {
            log(QStringLiteral("    incomplet, Bufferisation !"));
        }
        return 0;
    }

    log(QStringLiteral("OK RxBuffer") + name + QStringLiteral(":") + FromDevice(rx.buffer) +
        QStringLiteral(" Pos(P)=") + Pos1(rx.buffer, 'P') + QStringLiteral(" Pos(T)=") +
        Pos1(rx.buffer, 'T') + QStringLiteral(" Pos(#10)=") + QString::number(lineEnd + 1));

    int refreshes = 0;
    auto refreshNow = [&](FocuserValue taken) {
        ++refreshes;
        if (refresh) refresh(rx, taken);
    };
    // A reply that does not convert is logged and dropped, so that the next replies are parsed.
    try {
        if (const auto value = ValueAfter(rx.buffer, "P=", lineEnd)) {
            log(QStringLiteral("     extracted ") + name + QStringLiteral(" pos:") +
                FromDevice(*value));
            FocuserValue taken = FocuserValue::None;
            if (value->size() == 5) {
                rx.position = StrToInt(FromDevice(*value));
                taken = FocuserValue::Position;
            }
            refreshNow(taken);
        }
        if (const auto value = ValueAfter(rx.buffer, "T=", lineEnd)) {
            const QByteArray line = rx.buffer.left(lineEnd);
            log(QStringLiteral("Left:") + FromDevice(line) + QStringLiteral(" Length:") +
                QString::number(line.size()));
            log(QStringLiteral("Right:") + FromDevice(*value) + QStringLiteral(" Length:") +
                QString::number(value->size()));
            log(QStringLiteral("     extracted ") + name + QStringLiteral(" temp:") +
                FromDevice(*value));
            rx.temp = StrToFloat(FromDevice(*value));
            refreshNow(FocuserValue::Temperature);
        }
    } catch (const Failure& e) {
        log(QStringLiteral("Erreur extraction ") + name + QStringLiteral(" :") + e.Message());
    }
    rx.buffer.clear();
    return refreshes;
}
