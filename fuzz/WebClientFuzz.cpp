// One phone connection's record fed the reads of one connection in turn, as the server feeds it,
// with a focuser that only records the moves asked of it.
#include "ClientData.h"
#include "FuzzInput.h"

namespace {

constexpr qsizetype kMaxRead = 64 * 1024; // the server's read buffer

class TRecordingFocuser : public TRemoteFocuser {
  public:
    int Position() const override { return position_; }
    double Temperature() const override { return -3.25; }
    void MoveIn(const QString&) override { ++moves; }
    void MoveOut(const QString&) override { ++moves; }
    void MoveTo(int target) override {
        ++moves;
        position_ = target;
    }
    int moves = 0;

  private:
    int position_ = 1234;
};

qsizetype PendingBytes(const QList<QByteArray>& lines) {
    qsizetype bytes = 0;
    for (const QByteArray& line : lines)
        bytes += line.size() + 2;
    return bytes;
}

// An answer starts with its status line, and a page says its body's true length.
void CheckAnswer(const QByteArray& answer) {
    Check(answer.startsWith("HTTP/1.1 "), "answer without a status line");
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    Check(headEnd > 0, "answer without the end of its head");
    const QByteArray head = answer.left(headEnd);
    const qsizetype length = head.indexOf("Content-Length: ");
    if (length < 0) {
        Check(headEnd + 4 == answer.size(), "body without a length");
        return;
    }
    const qsizetype lengthEnd = head.indexOf('\r', length);
    const QByteArray digits = head.mid(length + 16, lengthEnd < 0 ? -1 : lengthEnd - length - 16);
    Check(digits.toLongLong() == answer.size() - headEnd - 4, "wrong Content-Length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TRecordingFocuser focuser;
    int pages = 0; // answers that may follow a move
    const TClientData::Sender send = [&pages](const QByteArray& bytes) {
        CheckAnswer(bytes);
        if (bytes.contains("received cmd: move_")) ++pages;
        return true;
    };
    TClientData client(1, focuser, send, [](const QString&) {});
    ForEachRead(data, size, kMaxRead, [&](const std::optional<QByteArray>& read) {
        if (!read) return true; // the server handles no empty read
        const bool open = client.HandleReceived(*read);
        Check(focuser.moves <= pages, "a move without its answer");
        // The sender takes every answer, so only text left waiting past the bound closes the
        // connection, after which the server reads no more.
        const bool tooLong = PendingBytes(client.Lines) > TClientData::kMaxPending;
        Check(open != tooLong, "connection closed for a reason other than its waiting text");
        return open;
    });
    return 0;
}
