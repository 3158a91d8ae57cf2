// SPDX-License-Identifier: GPL-3.0-or-later
#include "Frame.h"

#include "Convert.h"
#include "Failure.h"

namespace {

struct Field {
    const char* label;
    double DewValues::*real;
    int DewValues::*integer;
};

// Table order is frame order; the last field ends at the first "*".
const Field kFields[] = {
    {"   extracted BRS Temp1:", &DewValues::LocTemp1, nullptr},
    {"   extracted BRS Temp2:", &DewValues::LocTemp2, nullptr},
    {"   extracted BRS TempAmb:", &DewValues::AmbTemp, nullptr},
    {"   extracted BRS RH:", &DewValues::Humidity, nullptr},
    {"   extracted BRS DP:", &DewValues::Dewpoint, nullptr},
    {"   extracted BRS Out1:", nullptr, &DewValues::Out1},
    {"   extracted BRS Out2:", nullptr, &DewValues::Out2},
    {"   extracted BRS Out3:", nullptr, &DewValues::Out3},
    {"   extracted BRS CalT1:", nullptr, &DewValues::CalT1},
    {"   extracted BRS CalT2:", nullptr, &DewValues::CalT2},
    {"   extracted BRS CalTA:", nullptr, &DewValues::CalTA},
    {"   extracted BRS ThrT1:", nullptr, &DewValues::ThrT1},
    {"   extracted BRS ThrT2:", nullptr, &DewValues::ThrT2},
    {"   extracted BRS Automode:", nullptr, &DewValues::Automode},
    {"   extracted BRS Outslinked:", nullptr, &DewValues::OutsLinked},
    {"   extracted BRS Aggressive:", nullptr, &DewValues::Aggressive},
};
constexpr int kFieldCount = sizeof(kFields) / sizeof(kFields[0]);

// Converts and stores one field; raises Failure when the text does not convert.
void Store(const Field& field, const QByteArray& text, DewValues& values) {
    if (field.real)
        values.*field.real = StrToFloat(FromDevice(text));
    else
        values.*field.integer = StrToInt(FromDevice(text));
}

// Parses the frame of a buffer that holds "##" before "**". On failure the buffer is left at
// the failing field and Failure propagates.
void ParseFrame(QByteArray& buffer, DewValues& values, const LogSink& log) {
    for (int i = 0; i < kFieldCount; ++i) {
        const Field& field = kFields[i];
        const bool last = i == kFieldCount - 1;
        const int end = buffer.indexOf(last ? '*' : '/');
        QByteArray text = end < 0 ? QByteArray() : buffer.left(end);
        if (i == 0) {
            // The first field starts after "##"; a "/" before the "##" leaves it empty.
            const int start = text.indexOf("##");
            text = start < 0 ? QByteArray() : text.mid(start + 2);
        }
        Store(field, text, values);
        log(QLatin1String(field.label) + FromDevice(text));
        if (!last) buffer = buffer.mid(end + 1);
    }
}

} // namespace

bool ReceiveDewChunk(QByteArray& buffer, const std::optional<QByteArray>& chunk, DewValues& values,
                     const LogSink& log) {
    if (chunk) {
        log(QStringLiteral("BRS Rx:") + FromDevice(*chunk) + QStringLiteral(" - RxBufferBRS:") +
            FromDevice(buffer));
        // These letters drop the chunk together with everything buffered so far.
        if (chunk->contains('D') || chunk->contains('O') || chunk->contains('N') ||
            chunk->contains('E'))
            buffer.clear();
        else
            buffer += *chunk;
    }
    if (buffer.size() > kDewRxLimit) buffer.clear();

    const int start = buffer.indexOf("##");
    const int end = buffer.indexOf("**");
    if (start < 0 || end <= start) {
        log(QStringLiteral("    incomplet, Bufferisation !"));
        return false;
    }
    log(QStringLiteral("!!Début et fin trouvés :") + FromDevice(buffer));
    try {
        ParseFrame(buffer, values, log);
    } catch (const Failure& e) {
        log(QStringLiteral("Erreur extraction BRS getall :") + e.Message());
        return false;
    }
    buffer.clear();
    return true;
}

QString OutputRefusal(int output, bool automatic, bool linked) {
    if (output == 3 && linked)
        return QStringLiteral("Output 3 follows output 2 while the outputs are linked");
    if (automatic && output != 3)
        return QStringLiteral("Output %1 is set by the automatic mode").arg(output);
    return {};
}
