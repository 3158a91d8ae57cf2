#pragma once
// The Alpaca server's sockets: HTTP on TCP (11111 unless set otherwise) and the discovery
// answer on UDP 32227, both on every IPv4 interface. Each connection's requests are answered
// one after the other, in order, by the service; a request waiting on a device holds only its
// own connection.
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class TAlpacaService;

class TAlpacaServer : public QObject {
    Q_OBJECT
  public:
    static constexpr quint16 kDefaultPort = 11111;
    // Connections at once; past it a new one is closed at once.
    static constexpr int kMaxConnections = 64;

    // The service must outlive the server.
    explicit TAlpacaServer(TAlpacaService& service, QObject* parent = nullptr);
    ~TAlpacaServer() override;

    // Before Start: the ports (0 takes a free one) and the address listened on.
    void SetPort(quint16 port);
    void SetDiscoveryPort(quint16 port);
    void SetListenAddress(const QHostAddress& address);

    // Listens; raises Failure when the TCP port or the discovery port cannot be had, leaving
    // the server stopped.
    void Start();
    // Closes the listening sockets and every connection. Answers under way are dropped.
    void Stop();

    bool Listening() const;
    quint16 Port() const;          // the TCP port while listening, else the one Start will use
    quint16 DiscoveryPort() const; // likewise for discovery
    // The clients' addresses, one per connection, sorted.
    QStringList Clients() const;

  signals:
    void StateChanged();   // started or stopped
    void ClientsChanged(); // a connection opened or closed

  private:
    class TConnection;
    void Accept(QTcpSocket* socket);
    void Dropped(TConnection* connection);
    void AnswerDiscovery();

    TAlpacaService& service_;
    quint16 port_ = kDefaultPort;
    quint16 discoveryPort_;
    QHostAddress address_{QHostAddress::AnyIPv4};
    QTcpServer* tcp_;
    QUdpSocket* udp_;
    std::vector<std::unique_ptr<TConnection>> connections_;
};
