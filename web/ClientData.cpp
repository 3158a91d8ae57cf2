// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientData.h"

#include "ControlPage.h"
#include "Convert.h"
#include "ErrorReport.h"
#include "HostName.h"
#include "Origin.h"

#include <QCoroTimer>
#include <QStringList>

using namespace std::chrono_literals;

namespace {

// The largest step count or target a focuser takes.
constexpr int kMaxSteps = 65535;
// A read's memo entry shows this many lines at most, each cut at kMaxShown characters, so
// that the memo's work per read is bounded whatever a client sends.
constexpr qsizetype kMaxShownLines = 20;
constexpr qsizetype kMaxShown = 200;

// Line ends as they came (CR LF, CR or LF) become the memo's own.
QString ForMemo(const QByteArray& bytes) {
    QString text = FromDevice(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    if (text.size() <= kMaxShown) return text;
    QStringList lines = text.split(QChar('\n'));
    const qsizetype more = lines.size() - kMaxShownLines;
    if (more > 0) lines.resize(kMaxShownLines);
    for (QString& line : lines)
        if (line.size() > kMaxShown)
            line = line.left(kMaxShown) + QStringLiteral(" [%1 characters]").arg(line.size());
    if (more > 0) lines << QStringLiteral("[%1 more lines]").arg(more);
    return lines.join(QChar('\n'));
}

// The word for a socket error, by the kinds the memo has always named.
QString ErrorWord(QAbstractSocket::SocketError error, bool sending) {
    static const char* const words[] = {"General",    "Send",   "Receive", "Connect",
                                        "Disconnect", "Accept", "Lookup",  "Empty"};
    int kind = 0;
    switch (error) {
    case QAbstractSocket::NetworkError:
        kind = sending ? 1 : 2;
        break;
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::SocketTimeoutError:
        kind = 3;
        break;
    case QAbstractSocket::HostNotFoundError:
        kind = 6;
        break;
    default:
        kind = 0;
    }
    return QLatin1String(words[kind]);
}

} // namespace

TClientData::TClientData(std::shared_ptr<net::TConnection> socket, TRemoteFocuser& focuser,
                         LogSink log)
    : Id(socket->id()), Socket(std::move(socket)), focuser_(focuser), log_(std::move(log)) {}

void TClientData::received(const QByteArray& bytes) {
    log_(QStringLiteral("%1 Read: %2").arg(QString::number(Id), ForMemo(bytes)));
    HandleReceived(bytes);
}

void TClientData::failed(QAbstractSocket::SocketError error, bool sending) {
    log_(QStringLiteral("%1: Error on %2").arg(QString::number(Id), ErrorWord(error, sending)));
}

void TClientData::HandleReceived(const QByteArray& text) {
    for (TFramed& step : framing_.Feed(text)) {
        if (step.request) Socket->requestCompleted();
        waiting_.push_back(std::move(step));
    }
    if (!waiting_.empty() && !running_) Run(shared_from_this());
}

QCoro::Task<> TClientData::Run(std::shared_ptr<TClientData> self) {
    // The record lives until its last request is handled, even past its connection's end.
    (void)self;
    running_ = true;
    Socket->pauseReading();
    int handled = 0;
    while (!waiting_.empty() && Socket->isOpen()) {
        TFramed step = std::move(waiting_.front());
        waiting_.pop_front();
        if (!step.request) {
            Socket->close(step.end);
            break;
        }
        std::exception_ptr failure;
        try {
            co_await HandleRequest(std::move(*step.request));
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure) Guarded([&] { std::rethrow_exception(failure); });
        if (++handled % kRequestsPerTurn == 0 && !waiting_.empty()) co_await QCoro::sleepFor(0ms);
    }
    if (!waiting_.empty()) {
        log_(QStringLiteral("%1: Connection closed, %2 requests dropped")
                 .arg(Id)
                 .arg(waiting_.size()));
        waiting_.clear();
    }
    running_ = false;
    Socket->resumeReading();
}

QCoro::Task<> TClientData::HandleRequest(TRequest request) {
    if (const QString why = OtherSite(request); !why.isEmpty()) {
        Refuse(page::kForbidden, QStringLiteral("Forbidden: ") + why);
        co_return;
    }
    // A rebound DNS name makes another site's page this server's own origin.
    if (const QString why = net::ForeignHost(request.Header("Host").value_or(QByteArray()));
        !why.isEmpty()) {
        Refuse(page::kForbidden, QStringLiteral("Forbidden: ") + why);
        co_return;
    }
    const QByteArray& line = request.line;
    if (!line.startsWith("GET ")) {
        SendNotImplemented();
        co_return;
    }
    QByteArray rest = line.mid(4);
    const qsizetype space = rest.indexOf(' ');
    const QByteArray path = space < 0 ? QByteArray() : rest.left(space);
    // The version is only looked at when there is no command to run.
    if (path.size() > 1) {
        co_await ExecuteCommand(path);
        co_return;
    }
    if (space >= 0) rest.remove(0, space + 1);
    if (rest.startsWith("HTTP/"))
        SendPage(path);
    else
        SendNotImplemented();
}

QCoro::Task<> TClientData::ExecuteCommand(QByteArray path) {
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
            // A value typed on the phone is no reason for a box on the desktop: the phone is
            // told, the memo keeps why, the connection goes on, and nothing reaches a focuser.
            QString why;
            try {
                value = StrToInt(FromDevice(text));
            } catch (const Failure& e) {
                why = e.Message();
            }
            if (why.isEmpty() && (value < 0 || value > kMaxSteps))
                why = QStringLiteral("'%1' is not a whole number of steps from 0 to %2")
                          .arg(FromDevice(text))
                          .arg(kMaxSteps);
            if (!why.isEmpty()) {
                Refuse(page::kBadRequest, QStringLiteral("Bad request: ") + why);
                co_return;
            }
            if (command == MoveIn) co_await focuser_.MoveIn(value);
            if (command == MoveOut) co_await focuser_.MoveOut(value);
            if (command == MoveGoto) co_await focuser_.MoveTo(value);
        }
    }
    SendPage(QByteArray("received cmd: ") + names[command] + " value:" + QByteArray::number(value));
}

void TClientData::SendPage(const QByteArray& message) {
    // A page for a connection that ended during its move has nowhere to go.
    if (!Socket->isOpen()) return;
    Socket->send(page::Ok(page::Body(focuser_.Position(), focuser_.Temperature(), message)));
}

void TClientData::SendNotImplemented() {
    Socket->send(QByteArray(page::kNotImplemented));
}

void TClientData::Refuse(const char* answer, const QString& why) {
    log_(QStringLiteral("%1: %2").arg(QString::number(Id), why));
    Socket->send(QByteArray(answer));
}
