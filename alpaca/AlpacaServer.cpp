#include "AlpacaServer.h"

#include "AlpacaService.h"
#include "Discovery.h"
#include "ErrorReport.h"
#include "Failure.h"
#include "HttpReader.h"

#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace {

// One read takes at most this much from a connection; the rest waits in the system, so that a
// connection's unread requests are bounded by the reader's bounds and this.
constexpr qint64 kReadChunk = 16 * 1024;
// Answers waiting for a client that does not read them; past it the connection is closed.
constexpr qint64 kMaxUnsent = 1024 * 1024;

} // namespace

// One client connection: its reader, and whether an answer is under way.
class TAlpacaServer::TConnection : public QObject {
  public:
    TConnection(TAlpacaServer& server, QTcpSocket* socket)
        : server_(server), socket_(socket), peer_(socket->peerAddress()) {
        socket_->setParent(this);
        socket_->setReadBufferSize(kReadChunk);
        connect(socket_, &QTcpSocket::readyRead, this, GuardedSlot([this] { Pump(); }));
        connect(socket_, &QTcpSocket::disconnected, this,
                [this] { QMetaObject::invokeMethod(&server_, [s = &server_, c = this] {
                             s->Dropped(c);
                         }, Qt::QueuedConnection); });
    }
    QString Peer() const {
        // Loopback and LAN clients alike show as dotted IPv4 where they are IPv4.
        bool ipv4 = false;
        const quint32 address = peer_.toIPv4Address(&ipv4);
        return ipv4 ? QHostAddress(address).toString() : peer_.toString();
    }
    void Abort() {
        socket_->disconnect(this);
        socket_->abort();
    }

  private:
    // Serves the requests that wait, one at a time, reading more when none does. A request
    // answered at once comes back here through Send, which leaves the loop to go on.
    void Pump() {
        if (pumping_) return;
        pumping_ = true;
        while (!busy_ && !closed_) {
            THttpRequest request;
            const THttpReader::Result result = reader_.Next(request);
            if (result == THttpReader::Result::Request) {
                busy_ = true;
                Serve(QPointer<TConnection>(this), server_.service_, std::move(request));
            } else if (result == THttpReader::Result::Refused) {
                THttpAnswer answer = THttpAnswer::Text(reader_.Status(), reader_.Reason());
                answer.close = true;
                Send(answer);
            } else if (socket_->bytesAvailable() > 0) {
                // While an answer is under way the rest waits, in Qt's bounded buffer and the
                // system's, so what is unread stays bounded.
                reader_.Feed(socket_->read(kReadChunk));
            } else {
                break;
            }
        }
        pumping_ = false;
    }

    // Runs on its own: the Task is dropped, and the connection may be gone when the answer is
    // ready, which then goes nowhere.
    static QCoro::Task<> Serve(QPointer<TConnection> self, TAlpacaService& service,
                               THttpRequest request) {
        THttpAnswer answer;
        try {
            answer = co_await service.Answer(std::move(request));
        } catch (const std::exception& e) {
            answer = THttpAnswer::Text(500, e.what());
            answer.close = true;
        }
        if (!self) co_return;
        self->Send(answer);
    }

    void Send(const THttpAnswer& answer) {
        busy_ = false;
        if (closed_ || socket_->state() != QAbstractSocket::ConnectedState) return;
        socket_->write(answer.Bytes());
        if (answer.close || socket_->bytesToWrite() > kMaxUnsent) {
            closed_ = true;
            socket_->disconnectFromHost();
            return;
        }
        Guarded([this] { Pump(); });
    }

    TAlpacaServer& server_;
    QTcpSocket* socket_;
    QHostAddress peer_;
    THttpReader reader_;
    bool busy_ = false;    // an answer is under way
    bool pumping_ = false; // Pump is on the stack
    bool closed_ = false;  // the last answer went out; nothing more is read
};

TAlpacaServer::TAlpacaServer(TAlpacaService& service, QObject* parent)
    : QObject(parent), service_(service), discoveryPort_(kAlpacaDiscoveryPort),
      tcp_(new QTcpServer(this)), udp_(new QUdpSocket(this)) {
    tcp_->setMaxPendingConnections(kMaxConnections);
    connect(tcp_, &QTcpServer::newConnection, this, GuardedSlot([this] {
                while (QTcpSocket* socket = tcp_->nextPendingConnection())
                    Accept(socket);
            }));
    connect(udp_, &QUdpSocket::readyRead, this, GuardedSlot([this] { AnswerDiscovery(); }));
}

TAlpacaServer::~TAlpacaServer() {
    for (auto& connection : connections_)
        connection->Abort();
}

void TAlpacaServer::SetPort(quint16 port) {
    port_ = port;
}

void TAlpacaServer::SetDiscoveryPort(quint16 port) {
    discoveryPort_ = port;
}

void TAlpacaServer::SetListenAddress(const QHostAddress& address) {
    address_ = address;
}

void TAlpacaServer::Start() {
    if (Listening()) return;
    if (!tcp_->listen(address_, port_))
        throw Failure(QStringLiteral("Alpaca server: TCP port %1: %2")
                          .arg(port_)
                          .arg(tcp_->errorString()));
    // Other Alpaca servers on this computer answer discovery on the same port.
    if (!udp_->bind(address_, discoveryPort_,
                    QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        const QString why = udp_->errorString();
        tcp_->close();
        throw Failure(
            QStringLiteral("Alpaca server: discovery port %1: %2").arg(discoveryPort_).arg(why));
    }
    emit StateChanged();
}

void TAlpacaServer::Stop() {
    if (!Listening()) return;
    tcp_->close();
    udp_->close();
    for (auto& connection : connections_)
        connection->Abort();
    connections_.clear();
    emit ClientsChanged();
    emit StateChanged();
}

bool TAlpacaServer::Listening() const {
    return tcp_->isListening();
}

quint16 TAlpacaServer::Port() const {
    return Listening() ? tcp_->serverPort() : port_;
}

quint16 TAlpacaServer::DiscoveryPort() const {
    return udp_->state() == QAbstractSocket::BoundState ? udp_->localPort() : discoveryPort_;
}

QStringList TAlpacaServer::Clients() const {
    QStringList clients;
    for (const auto& connection : connections_)
        clients << connection->Peer();
    clients.sort();
    return clients;
}

void TAlpacaServer::Accept(QTcpSocket* socket) {
    if (int(connections_.size()) >= kMaxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connections_.push_back(std::make_unique<TConnection>(*this, socket));
    emit ClientsChanged();
}

void TAlpacaServer::Dropped(TConnection* connection) {
    for (auto it = connections_.begin(); it != connections_.end(); ++it)
        if (it->get() == connection) {
            connections_.erase(it);
            emit ClientsChanged();
            return;
        }
}

void TAlpacaServer::AnswerDiscovery() {
    while (udp_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udp_->receiveDatagram(64);
        const std::optional<QByteArray> answer = DiscoveryAnswer(datagram.data(), Port());
        if (answer) udp_->writeDatagram(datagram.makeReply(*answer));
    }
}
