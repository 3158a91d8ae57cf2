// SPDX-License-Identifier: GPL-3.0-or-later
#include "Front.h"

#include "ListeningSocket.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace net {

namespace {

// Accepts per turn of the event loop; the rest wait in the backlog for the next turn.
constexpr int kAcceptsPerTurn = 16;
// How often a paused front looks for free descriptors again.
constexpr int kRetryMs = 500;
constexpr std::chrono::seconds kSecond{1};

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int OpenSpare() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// Whether one more descriptor could still be opened besides the spare.
bool DescriptorFree(int spare) {
    const int probe = ::fcntl(spare, F_DUPFD_CLOEXEC, 0);
    if (probe < 0) return false;
    ::close(probe);
    return true;
}

} // namespace

TFront::TFront(Accept accept, LogSink log, QObject* parent)
    : QObject(parent), accept_(std::move(accept)), log_(std::move(log)), retry_(new QTimer(this)),
      summary_(new QTimer(this)) {
    summary_->setSingleShot(true);
    connect(summary_, &QTimer::timeout, this, [this] { sayLeftOut(); });
    retry_->setSingleShot(true);
    retry_->setInterval(kRetryMs);
    connect(retry_, &QTimer::timeout, this, [this] { tryResume(); });
}

TFront::~TFront() {
    close();
}

void TFront::listen(quint32 address, quint16 port) {
    close();
    fd_ = OpenListeningSocket(address, port);
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { acceptPending(); });
    counter_ = 0;
    refused_ = 0;
    paused_ = false;
    spare_ = OpenSpare();
    if (spare_ < 0) pauseAccepting(errno);
}

void TFront::close() {
    retry_->stop();
    if (fd_ >= 0) {
        delete notifier_;
        notifier_ = nullptr;
        ::close(fd_);
        fd_ = -1;
    }
    if (spare_ >= 0) ::close(spare_);
    spare_ = -1;
    paused_ = false;
    // Ending a connection tells the front; the list is already empty by then.
    const auto connections = std::move(connections_);
    connections_.clear();
    from_.clear();
    perAddress_.clear();
    refusedFrom_.clear();
    for (const auto& [id, connection] : connections)
        connection->abort();
}

quint16 TFront::serverPort() const {
    sockaddr_in place{};
    socklen_t size = sizeof place;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&place), &size) != 0) return 0;
    return ntohs(place.sin_port);
}

void TFront::acceptPending() {
    for (int i = 0; i < kAcceptsPerTurn && fd_ >= 0 && !paused_; ++i)
        if (!acceptOne()) return;
}

bool TFront::acceptOne() {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    const int fd =
        ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case EAGAIN:
            return false;
        // A connection that failed before it was accepted; the next one may be fine.
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            pauseAccepting(error);
            return false;
        default:
            log_(QStringLiteral("0: Error on Accept: %1").arg(SystemText(error)));
            return false;
        }
    }
    if (connectionCount() >= limits_.maxConnections) {
        ::close(fd);
        if (refused_++ == 0)
            log_(QStringLiteral("0: %1 connections open, new ones are closed")
                     .arg(limits_.maxConnections));
        return true;
    }
    const quint32 address = ntohl(peer.sin_addr.s_addr);
    if (refusedFrom(address)) {
        ::close(fd);
        return true;
    }
    if (!DescriptorFree(spare_)) {
        const int error = errno;
        ::close(fd);
        pauseAccepting(error);
        return false;
    }
    keep(fd, address);
    return true;
}

bool TFront::refusedFrom(quint32 address) {
    const auto open = perAddress_.find(address);
    if (open == perAddress_.end() || open->second < limits_.perAddress) return false;
    if (refusedFrom_[address]++ == 0)
        note(QStringLiteral("0: %1 connections from %2 open, its new ones are closed")
                 .arg(limits_.perAddress)
                 .arg(QHostAddress(address).toString()));
    return true;
}

void TFront::keep(int fd, quint32 address) {
    auto* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(fd)) {
        log_(QStringLiteral("0: Error on Accept: %1").arg(socket->errorString()));
        delete socket;
        ::close(fd);
        return;
    }
    // Qt takes no more from the system than this until the protocol has read it, so a client
    // that sends without end fills its own buffers rather than the program's memory.
    socket->setReadBufferSize(limits_.readChunk * 8);
    // Each answer leaves in one write: none waits for the acknowledgement of the one before.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const int id = ++counter_;
    auto connection = std::make_shared<TConnection>(
        id, socket, limits_, [this](const QString& line) { note(line); },
        [this, id] { ended(id); });
    connections_[id] = connection;
    from_[id] = address;
    ++perAddress_[address];
    std::shared_ptr<THandler> handler = accept_ ? accept_(connection) : nullptr;
    if (!handler) {
        connection->abort();
        return;
    }
    connection->start(std::move(handler));
}

void TFront::pauseAccepting(int error) {
    if (!paused_) {
        paused_ = true;
        if (notifier_) notifier_->setEnabled(false);
        log_(QStringLiteral("0: Error on Accept: %1, accepting paused").arg(SystemText(error)));
    }
    // The spare goes back to the rest of the program while nothing is accepted.
    if (spare_ >= 0) ::close(spare_);
    spare_ = -1;
    retry_->start();
}

void TFront::tryResume() {
    if (!paused_ || fd_ < 0) return;
    if (spare_ < 0) spare_ = OpenSpare();
    if (spare_ < 0 || !DescriptorFree(spare_)) {
        if (spare_ >= 0) ::close(spare_);
        spare_ = -1;
        retry_->start();
        return;
    }
    paused_ = false;
    retry_->stop();
    notifier_->setEnabled(true);
    log_(QStringLiteral("0: Accepting again"));
}

void TFront::ended(int id) {
    if (connections_.erase(id) == 0) return;
    if (const auto from = from_.find(id); from != from_.end()) {
        const quint32 address = from->second;
        from_.erase(from);
        if (--perAddress_[address] <= 0) perAddress_.erase(address);
        if (const auto refused = refusedFrom_.find(address); refused != refusedFrom_.end()) {
            note(QStringLiteral("0: %1 new connections from %2 were closed while %3 were open")
                     .arg(refused->second)
                     .arg(QHostAddress(address).toString())
                     .arg(limits_.perAddress));
            refusedFrom_.erase(refused);
        }
    }
    if (refused_ > 0 && connectionCount() < limits_.maxConnections) {
        log_(QStringLiteral("0: %1 new connections were closed while %2 were open")
                 .arg(refused_)
                 .arg(limits_.maxConnections));
        refused_ = 0;
    }
    if (paused_) tryResume();
}

void TFront::note(const QString& line) {
    const auto now = std::chrono::steady_clock::now();
    if (now - second_ >= kSecond) {
        sayLeftOut();
        second_ = now;
        noted_ = 0;
    }
    if (limits_.linesPerSecond <= 0 || noted_ < limits_.linesPerSecond) {
        ++noted_;
        log_(line);
        return;
    }
    // Said once the second is over, whether more lines come or not.
    if (leftOut_++ == 0)
        summary_->start(
            std::chrono::duration_cast<std::chrono::milliseconds>(second_ + kSecond - now));
}

void TFront::sayLeftOut() {
    summary_->stop();
    if (leftOut_ == 0) return;
    log_(QStringLiteral("0: ... %1 more connections").arg(leftOut_));
    leftOut_ = 0;
}

} // namespace net
