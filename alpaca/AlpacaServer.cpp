// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlpacaServer.h"

#include "AlpacaService.h"
#include "Discovery.h"
#include "ErrorReport.h"
#include "Failure.h"
#include "Front.h"
#include "HostName.h"
#include "HttpReader.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The HTTP side of one connection: its reader, and whether an answer is under way.
class TAlpacaServer::THandler : public net::THandler,
                                public std::enable_shared_from_this<THandler> {
  public:
    THandler(TAlpacaServer& server, std::shared_ptr<net::TConnection> connection)
        : server_(&server), service_(server.service_), connection_(std::move(connection)) {}

    void closed() override {
        // Told once the front has forgotten the connection.
        if (server_) QTimer::singleShot(0, server_, [s = server_] { emit s->ClientsChanged(); });
    }

    void received(const QByteArray& bytes) override {
        reader_.Feed(bytes);
        Pump();
    }

  private:
    // Serves the requests that wait, one at a time. A request answered at once comes back here
    // through Send, which leaves this loop to go on; one that waits on a device pauses the
    // connection's reading until it is answered, so later requests wait in the system.
    void Pump() {
        if (pumping_) return;
        pumping_ = true;
        while (!busy_ && connection_->isOpen()) {
            THttpRequest request;
            const THttpReader::Result result = reader_.Next(request);
            if (result == THttpReader::Result::NeedMore) break;
            if (result == THttpReader::Result::Refused) {
                THttpAnswer answer = THttpAnswer::Text(reader_.Status(), reader_.Reason());
                answer.close = true;
                connection_->send(answer.Bytes());
                connection_->close(QString::fromLatin1(reader_.Reason()));
                break;
            }
            // A rebound DNS name would let another site's page in a browser here read the
            // answers as its own.
            if (const QString why = net::ForeignHost(request.Field("host")); !why.isEmpty()) {
                THttpAnswer answer = THttpAnswer::Text(403, why.toLatin1());
                answer.close = true;
                connection_->send(answer.Bytes());
                connection_->close(why);
                break;
            }
            connection_->requestCompleted();
            busy_ = true;
            Serve(shared_from_this(), std::move(request));
            if (busy_) {
                paused_ = true;
                connection_->pauseReading();
            }
        }
        pumping_ = false;
    }

    // Runs on its own: the Task is dropped. It holds the handler, so the connection may end
    // while it waits; the answer then goes nowhere.
    static QCoro::Task<> Serve(std::shared_ptr<THandler> self, THttpRequest request) {
        THttpAnswer answer;
        try {
            answer = co_await self->service_.Answer(std::move(request));
        } catch (const std::exception& e) {
            answer = THttpAnswer::Text(500, e.what());
            answer.close = true;
        }
        self->Send(answer);
    }

    void Send(const THttpAnswer& answer) {
        busy_ = false;
        if (!connection_->isOpen()) return;
        connection_->send(answer.Bytes());
        if (answer.close) {
            connection_->close();
            return;
        }
        if (paused_) {
            paused_ = false;
            connection_->resumeReading();
        }
        // The next request may already wait, whole, in the reader.
        Guarded([this] { Pump(); });
    }

    QPointer<TAlpacaServer> server_;
    TAlpacaService& service_;
    std::shared_ptr<net::TConnection> connection_;
    THttpReader reader_;
    bool busy_ = false;    // an answer is under way
    bool paused_ = false;  // the connection's reading waits for that answer
    bool pumping_ = false; // Pump is on the stack
};

TAlpacaServer::TAlpacaServer(TAlpacaService& service, LogSink log, QObject* parent)
    : QObject(parent), service_(service), log_(std::move(log)),
      discoveryPort_(kAlpacaDiscoveryPort), udp_(new QUdpSocket(this)), udp6_(new QUdpSocket(this)),
      discoveryLater_(new QTimer(this)) {
    front_ = std::make_unique<net::TFront>(
        [this](
            const std::shared_ptr<net::TConnection>& connection) -> std::shared_ptr<net::THandler> {
            // Told once the front has counted it.
            QTimer::singleShot(0, this, [this] { emit ClientsChanged(); });
            return std::make_shared<THandler>(*this, connection);
        },
        [this](const QString& line) {
            if (log_) log_(line);
        });
    for (QUdpSocket* udp : {udp_, udp6_})
        connect(udp, &QUdpSocket::readyRead, this, GuardedSlot([this] { AnswerDiscovery(); }));
    discoveryLater_->setSingleShot(true);
    connect(discoveryLater_, &QTimer::timeout, this, GuardedSlot([this] { AnswerDiscovery(); }));
    net::TLimits limits;
    // The window's log is read by a person.
    limits.linesPerSecond = 3;
    front_->setLimits(limits);
}

TAlpacaServer::~TAlpacaServer() = default;

void TAlpacaServer::SetPort(quint16 port) {
    port_ = port;
}

void TAlpacaServer::SetDiscoveryPort(quint16 port) {
    discoveryPort_ = port;
}

void TAlpacaServer::SetListenAddress(const QHostAddress& address) {
    address_ = address;
}

namespace {

// Binds a discovery socket for the address's family. Other Alpaca servers on this computer
// answer discovery on the same port, whichever of SO_REUSEADDR and SO_REUSEPORT they set: both
// are set here, so neither kind keeps us out. IPv6 takes IPv6 alone, IPv4 having its own
// socket on the same port. The failure's text, empty when bound.
QString BindDiscovery(QUdpSocket& udp, const sockaddr* at, socklen_t size) {
    const int fd = ::socket(at->sa_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    const bool bound = fd >= 0 &&
                       (at->sa_family != AF_INET6 ||
                        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) == 0) &&
                       (at->sa_family != AF_INET ||
                        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) == 0) &&
                       ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
                       ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) == 0 &&
                       ::bind(fd, at, size) == 0;
    const QString why = bound ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    if (bound && udp.setSocketDescriptor(fd, QAbstractSocket::BoundState)) return {};
    if (fd >= 0) ::close(fd);
    return bound ? udp.errorString() : why;
}

} // namespace

void TAlpacaServer::Start() {
    if (Listening()) return;
    front_->listen(address_.toIPv4Address(), port_);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(discoveryPort_);
    at.sin_addr.s_addr = htonl(address_.toIPv4Address());
    if (const QString why = BindDiscovery(*udp_, reinterpret_cast<const sockaddr*>(&at), sizeof at);
        !why.isEmpty()) {
        front_->close();
        throw Failure(QStringLiteral("Alpaca discovery port %1: %2").arg(discoveryPort_).arg(why));
    }
    StartDiscovery6(udp_->localPort());
    emit StateChanged();
}

void TAlpacaServer::StartDiscovery6(quint16 port) {
    // The IPv6 address that matches the IPv4 one listened on: every interface, or loopback.
    // One interface's IPv4 address has no IPv6 counterpart to take.
    sockaddr_in6 at{};
    at.sin6_family = AF_INET6;
    at.sin6_port = htons(port);
    if (address_ == QHostAddress(QHostAddress::AnyIPv4))
        at.sin6_addr = in6addr_any;
    else if (address_.isLoopback())
        at.sin6_addr = in6addr_loopback;
    else
        return;
    auto log = [this](const QString& line) {
        if (log_) log_(line);
    };
    // A computer without IPv6 is answered over IPv4 alone.
    if (const QString why =
            BindDiscovery(*udp6_, reinterpret_cast<const sockaddr*>(&at), sizeof at);
        !why.isEmpty()) {
        log(QStringLiteral("Alpaca discovery over IPv6 on port %1: %2").arg(port).arg(why));
        return;
    }
    // The group's datagrams are addressed to it, never to ::1.
    if (!IN6_IS_ADDR_UNSPECIFIED(&at.sin6_addr)) return;
    // The interfaces up now; one that comes up later is joined when the server starts again.
    // An interface that refuses the group leaves the others and IPv6's unicast answered.
    const QHostAddress group(QString::fromLatin1(kAlpacaDiscoveryGroup6));
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::CanMulticast))
            continue;
        if (!udp6_->joinMulticastGroup(group, interface))
            log(QStringLiteral("Alpaca discovery: %1 not joined on %2: %3")
                    .arg(group.toString(), interface.name(), udp6_->errorString()));
    }
}

void TAlpacaServer::Stop() {
    if (!Listening()) return;
    front_->close();
    udp_->close();
    udp6_->close();
    discoveryLater_->stop();
    emit ClientsChanged();
    emit StateChanged();
}

bool TAlpacaServer::Listening() const {
    return front_->isListening();
}

quint16 TAlpacaServer::Port() const {
    return Listening() ? front_->serverPort() : port_;
}

quint16 TAlpacaServer::DiscoveryPort() const {
    return udp_->state() == QAbstractSocket::BoundState ? udp_->localPort() : discoveryPort_;
}

int TAlpacaServer::Clients() const {
    return front_->connectionCount();
}

void TAlpacaServer::AnswerDiscovery() {
    // A flood of datagrams costs a bounded share of a core, whichever family it comes by: what
    // is not read within the budget waits in the system, which drops what does not fit.
    const auto now = std::chrono::steady_clock::now();
    if (now - window_ >= kDiscoveryWindow) {
        window_ = now;
        datagramsRead_ = 0;
        answered_.clear();
    }
    auto waiting = [](QUdpSocket* udp) {
        return udp->state() == QAbstractSocket::BoundState && udp->hasPendingDatagrams();
    };
    for (int turn = 0; turn < kDatagramsPerTurn; ++turn) {
        // The families take turns, so that a flood over one does not hold the other back.
        QUdpSocket* const first = nextFamily_ == 0 ? udp_ : udp6_;
        QUdpSocket* const second = first == udp_ ? udp6_ : udp_;
        QUdpSocket* const udp = waiting(first) ? first : waiting(second) ? second : nullptr;
        if (!udp) return;
        nextFamily_ = udp == udp_ ? 1 : 0;
        if (datagramsRead_ >= kDatagramsPerWindow) {
            discoveryLater_->start(std::chrono::duration_cast<std::chrono::milliseconds>(
                window_ + kDiscoveryWindow - now));
            return;
        }
        ++datagramsRead_;
        const QNetworkDatagram datagram = udp->receiveDatagram(64);
        const std::optional<QByteArray> answer = DiscoveryAnswer(datagram.data(), Port());
        if (!answer) continue;
        // A client asks once or twice; a sender asking more gets no more answers.
        int& answers = answered_[datagram.senderAddress()];
        if (answers >= kAnswersPerSender) continue;
        ++answers;
        // To the sender's address and port, a multicast's as a broadcast's.
        udp->writeDatagram(datagram.makeReply(*answer));
    }
    // The rest in a later turn of the event loop, after everything else that waits.
    if (waiting(udp_) || waiting(udp6_)) discoveryLater_->start(0);
}
