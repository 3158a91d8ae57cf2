#include "ClientData.h"

#include "ControlPage.h"
#include "Convert.h"
#include "Failure.h"

namespace {

// Lines end at CR LF, a lone CR or a lone LF; a last piece without an end is a line too.
QList<QByteArray> SplitLines(const QByteArray& text) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') continue;
        lines.append(text.mid(start, i - start));
        if (c == '\r' && i + 1 < size && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < size) lines.append(text.mid(start));
    return lines;
}

// Removes the consumed lines however the handling ends, so that a failure escaping a move does
// not leave its request to be run again by the next read.
struct TConsumed {
    QList<QByteArray>& lines;
    qsizetype count = 0;
    ~TConsumed() { lines.remove(0, count); }
};

} // namespace

TClientData::TClientData(int id, TRemoteFocuser& focuser, Sender send, LogSink log)
    : Id(id), focuser_(focuser), send_(std::move(send)), log_(std::move(log)) {}

bool TClientData::HandleReceived(const QByteArray& received) {
    QByteArray text = received;
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0) text.truncate(zero);
    // A CR LF torn between two reads is one line end, not an extra empty line that would end
    // the request early and make its next header line a request of its own.
    if (endedWithCR_ && text.startsWith('\n')) text.remove(0, 1);
    endedWithCR_ = text.endsWith('\r');

    // A partial line left from the last read gets its line end here, before the new text.
    QByteArray whole;
    whole.reserve(PendingBytes() + text.size());
    for (const QByteArray& line : Lines) {
        whole += line;
        whole += "\r\n";
    }
    whole += text;
    Lines = SplitLines(whole);

    {
        TConsumed consumed{Lines};
        for (;;) {
            const qsizetype blank = Lines.indexOf(QByteArray(), consumed.count);
            if (blank < 0) break;
            const qsizetype first = consumed.count;
            consumed.count = blank + 1;
            if (blank > first && !HandleRequest(Lines[first])) return false;
        }
    }
    if (PendingBytes() > kMaxPending) {
        log_(QStringLiteral("%1: Request too long, connection closed").arg(Id));
        return false;
    }
    return true;
}

qsizetype TClientData::PendingBytes() const {
    qsizetype bytes = 0;
    for (const QByteArray& line : Lines)
        bytes += line.size() + 2;
    return bytes;
}

bool TClientData::HandleRequest(const QByteArray& line) {
    if (!line.startsWith("GET ")) return SendNotImplemented();
    QByteArray rest = line.mid(4);
    const qsizetype space = rest.indexOf(' ');
    const QByteArray path = space < 0 ? QByteArray() : rest.left(space);
    // The version is only looked at when there is no command to run.
    if (path.size() > 1) return ExecuteCommand(path);
    if (space >= 0) rest.remove(0, space + 1);
    if (rest.startsWith("HTTP/")) return SendPage(path);
    return SendNotImplemented();
}

bool TClientData::ExecuteCommand(const QByteArray& path) {
    enum { MoveIn, MoveOut, MoveGoto, Refresh, Unknown };
    static const char* const names[] = {"move_in", "move_out", "move_goto", "refresh", "unknown"};
    int command = MoveIn;
    while (command < Unknown && !path.contains(names[command]))
        ++command;

    int value = 0;
    if (command <= MoveGoto) {
        const qsizetype equals = path.indexOf('=');
        const QByteArray text = equals < 0 ? path : path.mid(equals + 1);
        if (!text.isEmpty()) {
            try {
                value = StrToInt(FromDevice(text));
            } catch (const Failure& e) {
                // A value typed on the phone is no reason for a box on the desktop: the phone
                // is told, the memo keeps why, and the connection goes on.
                log_(QStringLiteral("%1: Bad request: %2").arg(QString::number(Id), e.Message()));
                return send_(QByteArray(page::kBadRequest));
            }
            if (command == MoveIn) focuser_.MoveIn(QString::number(value));
            if (command == MoveOut) focuser_.MoveOut(QString::number(value));
            if (command == MoveGoto) focuser_.MoveTo(value);
        }
    }
    return SendPage(QByteArray("received cmd: ") + names[command] +
                    " value:" + QByteArray::number(value));
}

bool TClientData::SendPage(const QByteArray& message) {
    return send_(page::Ok(page::Body(focuser_.Position(), focuser_.Temperature(), message)));
}

bool TClientData::SendNotImplemented() {
    return send_(QByteArray(page::kNotImplemented));
}
