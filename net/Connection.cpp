// SPDX-License-Identifier: GPL-3.0-or-later
#include "Connection.h"

#include <QMetaObject>
#include <QTcpSocket>
#include <QTimer>

#include <poll.h>

namespace net {

namespace {

QString Seconds(std::chrono::milliseconds limit) {
    return QString::number(double(limit.count()) / 1000.0);
}

} // namespace

TConnection::TConnection(int id, QTcpSocket* socket, const TLimits& limits, LogSink log,
                         std::function<void()> ended)
    : id_(id), socket_(socket), idle_(new QTimer(socket)), unread_(new QTimer(socket)),
      limits_(limits), log_(std::move(log)), ended_(std::move(ended)) {
    idle_->setSingleShot(true);
    unread_->setSingleShot(true);
    // The socket's events reach the connection until it ends (end() disconnects them); each
    // holds the connection for its call, since the call may end it.
    QObject::connect(idle_, &QTimer::timeout, socket_, [this] {
        const std::shared_ptr<TConnection> self = shared_from_this();
        abort(QStringLiteral("No request for %1 s").arg(Seconds(limits_.idle)));
    });
    QObject::connect(unread_, &QTimer::timeout, socket_, [this] {
        const std::shared_ptr<TConnection> self = shared_from_this();
        abort(QStringLiteral("Answers not read for %1 s").arg(Seconds(limits_.unread)));
    });
    QObject::connect(socket_, &QTcpSocket::readyRead, socket_, [this] { readSoon(); });
    QObject::connect(socket_, &QTcpSocket::bytesWritten, socket_, [this] {
        const std::shared_ptr<TConnection> self = shared_from_this();
        written();
    });
    QObject::connect(socket_, &QTcpSocket::disconnected, socket_, [this] {
        const std::shared_ptr<TConnection> self = shared_from_this();
        end();
    });
    QObject::connect(socket_, &QTcpSocket::errorOccurred, socket_,
                     [this](QAbstractSocket::SocketError error) {
                         const std::shared_ptr<TConnection> self = shared_from_this();
                         // The client closing is how a connection normally ends.
                         if (error == QAbstractSocket::RemoteHostClosedError || !handler_) return;
                         const std::shared_ptr<THandler> handler = handler_;
                         handler->failed(error, socket_->bytesToWrite() > 0);
                     });
}

TConnection::~TConnection() {
    if (!socket_) return;
    socket_->disconnect();
    socket_->abort();
    socket_->deleteLater();
}

bool TConnection::isOpen() const {
    if (!open_) return false;
    // The client may have gone while the program was busy with its last request: the system
    // knows before the event loop has told the socket.
    pollfd state{int(socket_->socketDescriptor()), POLLRDHUP, 0};
    return ::poll(&state, 1, 0) <= 0 || !(state.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

void TConnection::start(std::shared_ptr<THandler> handler) {
    handler_ = std::move(handler);
    if (idleRuns()) idle_->start(limits_.idle);
    if (socket_->bytesAvailable() > 0) readSoon();
}

bool TConnection::reading() const {
    return open_ && !paused_ && socket_->bytesToWrite() <= limits_.pauseUnsent;
}

void TConnection::readSoon() {
    if (readQueued_ || !reading()) return;
    // One chunk per turn of the event loop, so that one client cannot hold the others back.
    readQueued_ = true;
    QMetaObject::invokeMethod(
        socket_,
        [weak = weak_from_this()] {
            if (const std::shared_ptr<TConnection> self = weak.lock()) self->readChunk();
        },
        Qt::QueuedConnection);
}

void TConnection::readChunk() {
    readQueued_ = false;
    if (!reading() || !handler_) return;
    const QByteArray bytes = socket_->read(limits_.readChunk);
    if (!bytes.isEmpty()) {
        const std::shared_ptr<THandler> handler = handler_;
        handler->received(bytes);
    }
    if (socket_ && socket_->bytesAvailable() > 0) readSoon();
}

void TConnection::send(const QByteArray& bytes) {
    if (!open_) return;
    socket_->write(bytes);
    if (socket_->bytesToWrite() > limits_.maxUnsent) {
        abort(QStringLiteral("Answers not read"));
        return;
    }
    if (!unread_->isActive()) unread_->start(limits_.unread);
}

void TConnection::written() {
    if (!socket_ || socket_->bytesToWrite() > 0) return;
    unread_->stop();
    if (socket_->bytesAvailable() > 0) readSoon();
}

void TConnection::requestCompleted() {
    spoken_ = true;
    if (!open_ || paused_ || limits_.idle.count() <= 0) return;
    if (limits_.idleAfterFirstRequest)
        idle_->start(limits_.idle);
    else
        idle_->stop();
}

bool TConnection::idleRuns() const {
    return limits_.idle.count() > 0 && (limits_.idleAfterFirstRequest || !spoken_);
}

void TConnection::pauseReading() {
    paused_ = true;
    if (socket_) idle_->stop();
}

void TConnection::resumeReading() {
    if (!paused_) return;
    paused_ = false;
    if (!open_) return;
    if (idleRuns()) idle_->start(limits_.idle);
    if (socket_->bytesAvailable() > 0) readSoon();
}

void TConnection::close(const QString& reason) {
    if (!open_) return;
    const std::shared_ptr<TConnection> self = shared_from_this();
    if (!reason.isEmpty()) log_(QStringLiteral("%1: %2, connection closed").arg(id_).arg(reason));
    open_ = false;
    idle_->stop();
    // Ends at once when nothing waits to be sent, else once the client has taken it; the
    // unread limit still ends a client that never does.
    socket_->disconnectFromHost();
    if (socket_ && socket_->state() == QAbstractSocket::UnconnectedState) end();
}

void TConnection::abort(const QString& reason) {
    if (over_) return;
    const std::shared_ptr<TConnection> self = shared_from_this();
    if (!reason.isEmpty()) log_(QStringLiteral("%1: %2, connection closed").arg(id_).arg(reason));
    open_ = false;
    socket_->abort();
    end();
}

void TConnection::end() {
    if (over_) return;
    over_ = true;
    open_ = false;
    idle_->stop();
    unread_->stop();
    socket_->disconnect();
    socket_->abort();
    socket_->deleteLater(); // its timers with it
    socket_ = nullptr;
    const std::shared_ptr<THandler> handler = std::move(handler_);
    if (handler) handler->closed();
    if (ended_) ended_();
}

} // namespace net
