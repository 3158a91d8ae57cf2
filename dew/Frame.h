#pragma once
// The dew controller's status frame without widgets: the receive step of its link (the letters
// rule, the 100-character rule, frame detection) and the parse of the sixteen fields
// "##t1/t2/ta/rh/dp/o1/o2/o3/c1/c2/ca/h1/h2/auto/linked/aggr**".
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// The frame's values in field order: BRSLocTemp1 ... BRSAggressive of the main window.
struct DewValues {
    double locTemp1 = 0;
    double locTemp2 = 0;
    double ambTemp = 0;
    double humidity = 0;
    double dewpoint = 0;
    int out1 = 0;
    int out2 = 0;
    int out3 = 0;
    int calT1 = 0;
    int calT2 = 0;
    int calTA = 0;
    int thrT1 = 0;
    int thrT2 = 0;
    int automode = 0;
    int outsLinked = 0;
    int aggressive = 0;
};

using LogSink = std::function<void(const QString& line)>;

// The receive buffer keeps at most this many characters.
inline constexpr int kDewRxLimit = 100;

// One receive step on RxBufferBRS. chunk: what was read from the link, or nullopt when the link
// is closed (nothing read, nothing logged). Fields are stored one by one, so a conversion
// failure keeps the fields before it; the buffer then keeps the rest from the failing field.
// Returns true when a whole frame was parsed: the display (setValues) must run.
bool ReceiveDewChunk(QByteArray& buffer, const std::optional<QByteArray>& chunk, DewValues& values,
                     const LogSink& log);
