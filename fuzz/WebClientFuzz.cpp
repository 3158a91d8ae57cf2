// SPDX-License-Identifier: GPL-3.0-or-later
// One phone connection through the network front and the framing together, over loopback: the
// input is cut into the connection's writes, each written once the front has handed the one
// before to the connection's record; the focuser only counts the moves asked of it. Checks:
// every request is answered once with a well-formed answer and its true length, every move has
// its page, and the front closes the connection exactly when the framing ends it (saying why).
#include "ClientData.h"
#include "Front.h"
#include "FuzzInput.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class TRecordingFocuser : public TRemoteFocuser {
  public:
    int Position() const override { return position_; }
    double Temperature() const override { return -3.25; }
    QCoro::Task<> MoveIn(int) override {
        ++moves;
        co_return;
    }
    QCoro::Task<> MoveOut(int) override {
        ++moves;
        co_return;
    }
    QCoro::Task<> MoveTo(int target) override {
        ++moves;
        position_ = target;
        co_return;
    }
    int moves = 0;

  private:
    int position_ = 1234;
};

// What the front hands to the record, framed again beside it: how many requests it must
// answer, and whether it must end the connection.
class TWatched : public net::THandler {
  public:
    explicit TWatched(std::shared_ptr<TClientData> client) : client_(std::move(client)) {}
    void received(const QByteArray& bytes) override {
        taken += bytes.size();
        for (const TFramed& step : framing_.Feed(bytes))
            step.request ? ++requests : ++ends;
        client_->received(bytes);
    }
    void failed(QAbstractSocket::SocketError error, bool sending) override {
        client_->failed(error, sending);
    }
    qint64 taken = 0;
    int requests = 0, ends = 0;

  private:
    std::shared_ptr<TClientData> client_;
    TFraming framing_;
};

struct TServer {
    TRecordingFocuser focuser;
    QStringList log;
    std::shared_ptr<TWatched> watched;
    net::TFront front{[this](const std::shared_ptr<net::TConnection>& connection) {
                          watched = std::make_shared<TWatched>(std::make_shared<TClientData>(
                              connection, focuser, [this](const QString& e) { log << e; }));
                          return watched;
                      },
                      [this](const QString& e) { log << e; }};
};

TServer* server = nullptr;

// The answers the client has received, checked as they complete.
struct TAnswers {
    QByteArray bytes;
    int count = 0, movePages = 0;
    bool closed = false; // the server ended the connection

    void Take(int fd) {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) closed = true;
            if (got <= 0) break;
            bytes.append(buffer, got);
        }
        while (!bytes.isEmpty()) {
            Check(bytes.startsWith(QByteArray("HTTP/1.1 ").left(bytes.size())),
                  "answer without a status line");
            const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
            if (headEnd < 0) return;
            const QByteArray head = bytes.left(headEnd);
            const qsizetype at = head.indexOf("\r\nContent-Length: ");
            Check(at > 0, "answer without its length");
            const qsizetype end = head.indexOf('\r', at + 2);
            const qint64 length = head.mid(at + 18, end < 0 ? -1 : end - at - 18).toLongLong();
            if (bytes.size() < headEnd + 4 + length) return;
            const QByteArray body = bytes.mid(headEnd + 4, length);
            if (head.startsWith("HTTP/1.1 200 ")) {
                Check(body.endsWith("</body></html>\r\n"), "a page cut short");
                if (body.contains("received cmd: move_")) ++movePages;
            } else {
                Check(length == 0, "a body with an answer that has none");
            }
            bytes.remove(0, headEnd + 4 + length);
            ++count;
        }
    }
};

// Runs the event loop, taking the answers of fd (when given), until done() or the deadline; a
// server that never gets there is stuck.
template <class Done>
void Until(Done&& done, const char* what, int fd = -1, TAnswers* answers = nullptr) {
    QDeadlineTimer deadline(5000);
    while (!done()) {
        Check(!deadline.hasExpired(), what);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (answers) answers->Take(fd);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    server = new TServer;
    server->front.listen(QHostAddress(QHostAddress::LocalHost).toIPv4Address(), 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TServer& s = *server;
    s.log.clear();
    s.focuser.moves = 0;
    s.watched.reset();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Each write leaves at once, not once the one before is acknowledged.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in place{};
    place.sin_family = AF_INET;
    place.sin_port = htons(s.front.serverPort());
    place.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Check(::connect(fd, reinterpret_cast<sockaddr*>(&place), sizeof place) == 0, "no connection");
    TAnswers answers;
    Until([&] { return s.watched != nullptr; }, "not accepted");

    qint64 written = 0;
    ForEachRead(data, size, 64 * 1024, [&](const std::optional<QByteArray>& read) {
        if (!read) return true; // an empty write sends nothing
        Check(::send(fd, read->constData(), size_t(read->size()), MSG_NOSIGNAL) == read->size(),
              "write not taken whole");
        written += read->size();
        Until([&] { return s.watched->taken == written || answers.closed; },
              "bytes never handed over", fd, &answers);
        // Past an end nothing is read; bytes sent then would only make the system reset it.
        return !answers.closed && s.watched->ends == 0;
    });
    // Every request framed before an end is answered, and an end closes the connection.
    Until(
        [&] {
            return answers.count == s.watched->requests && (!s.watched->ends || answers.closed);
        },
        "requests never answered", fd, &answers);
    Check(s.focuser.moves <= answers.movePages, "a move without its page");
    Check(answers.closed == (s.watched->ends > 0), "closed without an end, or an end not closed");
    if (answers.closed) {
        Check(s.log.last().endsWith(QLatin1String(", connection closed")), "closed unsaid");
        Check(answers.bytes.isEmpty(), "a partial answer before the end");
    }
    ::close(fd);
    Until([&] { return s.front.connectionCount() == 0; }, "connection kept");
    // The ended sockets, which the program's event loop deletes between its turns.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
