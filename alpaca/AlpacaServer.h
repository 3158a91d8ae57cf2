// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Alpaca server's sockets: HTTP on TCP (11111 unless set otherwise) through the program's
// network front on every IPv4 interface, and the discovery answer on UDP 32227 over IPv4
// (broadcasts) and IPv6 (the multicast group ff12::a1:9aca, and unicast). Each
// connection's requests are answered one after the other, in order, by the service; a request
// waiting on a device holds only its own connection.
#include "LogSink.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <chrono>
#include <memory>

class QTimer;
class QUdpSocket;
class TAlpacaService;
namespace net {
class TFront;
}

class TAlpacaServer : public QObject {
    Q_OBJECT
  public:
    static constexpr quint16 kDefaultPort = 11111;

    // The service must outlive the server. log: the front's lines (connections closed for
    // their limits) and the server's own.
    TAlpacaServer(TAlpacaService& service, LogSink log, QObject* parent = nullptr);
    ~TAlpacaServer() override;

    // Before Start: the ports (0 takes a free one) and the address listened on.
    void SetPort(quint16 port);
    void SetDiscoveryPort(quint16 port);
    void SetListenAddress(const QHostAddress& address);

    // Listens; raises Failure when the TCP port or the IPv4 discovery port cannot be had,
    // leaving the server stopped. Without IPv6 on this computer discovery answers over IPv4
    // alone; what IPv6 could not have (the port, the group on an interface) is logged.
    void Start();
    // Closes the listening sockets and every connection. Answers under way are dropped.
    void Stop();

    bool Listening() const;
    quint16 Port() const;          // the TCP port while listening, else the one Start will use
    quint16 DiscoveryPort() const; // likewise for discovery
    int Clients() const;           // connections open

  signals:
    void StateChanged();   // started or stopped
    void ClientsChanged(); // a connection opened or closed

  private:
    class THandler;
    void StartDiscovery6(quint16 port);
    void AnswerDiscovery();

    TAlpacaService& service_;
    LogSink log_;
    quint16 port_ = kDefaultPort;
    quint16 discoveryPort_;
    QHostAddress address_{QHostAddress::AnyIPv4};
    std::unique_ptr<net::TFront> front_;
    QUdpSocket* udp_;  // IPv4
    QUdpSocket* udp6_; // IPv6, when this computer has it

    // Discovery's budget, both families together: datagrams read per turn of the event loop
    // and per window, answers per sender and window.
    static constexpr int kDatagramsPerTurn = 16;
    static constexpr int kDatagramsPerWindow = 100;
    static constexpr int kAnswersPerSender = 2;
    static constexpr std::chrono::milliseconds kDiscoveryWindow{100};
    std::chrono::steady_clock::time_point window_;
    int datagramsRead_ = 0;
    QHash<QHostAddress, int> answered_; // by sender's address
    int nextFamily_ = 0;                // whose datagrams are read first in a turn
    QTimer* discoveryLater_;            // the datagrams left for a later turn
};
