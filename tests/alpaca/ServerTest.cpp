// SPDX-License-Identifier: GPL-3.0-or-later
// The server's sockets on 127.0.0.1 with a stand-in focuser: answers in order on each
// connection, a waiting device call that holds only its own connection, refusals, discovery.
#include "AlpacaClient.h"
#include "AlpacaServer.h"
#include "AlpacaTestSupport.h"
#include "Discovery.h"

#include <QTcpServer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class AlpacaServerTest : public testing::Test {
  protected:
    AlpacaServerTest() {
        server.SetListenAddress(QHostAddress::LocalHost);
        server.SetPort(0);
        server.SetDiscoveryPort(0);
        server.Start();
    }
    TStandInFocuser focuser;
    TAlpacaService service{TestServerInfo(), {&focuser}};
    QStringList logged;
    TAlpacaServer server{service, [this](const QString& line) { logged << line; }};
};

} // namespace

TEST_F(AlpacaServerTest, PipelinedRequestsAreAnsweredInOrderWhileOtherConnectionsGoOn) {
    focuser.moveMs = 1500;
    TAlpacaClient slow(server.Port());
    slow.Send("PUT /api/v1/focuser/0/move HTTP/1.1\r\nContent-Length: 33\r\n\r\n"
              "Position=40&ClientTransactionID=1"
              "GET /api/v1/focuser/0/position?ClientTransactionID=2 HTTP/1.1\r\n\r\n");
    // The other connection is answered while the move's call waits.
    TAlpacaClient other(server.Port());
    EXPECT_EQ(other.Ask("/api/v1/focuser/0/position")["Value"].toInt(), 1200);
    EXPECT_EQ(focuser.position, 1200);

    const TClientAnswer moved = slow.Next();
    const TClientAnswer read = slow.Next();
    EXPECT_EQ(moved.Json()["ClientTransactionID"].toInt(), 1);
    EXPECT_EQ(read.Json()["ClientTransactionID"].toInt(), 2);
    // The position read after the move, as the client asked them.
    EXPECT_EQ(read.Json()["Value"].toInt(), 40);
    EXPECT_TRUE(moved.head.contains("Content-Type: application/json"));
    EXPECT_EQ(server.Clients(), 2);
}

TEST_F(AlpacaServerTest, RefusalsAndClosesEndTheConnection) {
    struct {
        QByteArray request;
        int status;
    } const cases[] = {
        {"GET / HTTP/3.0\r\n\r\n", 505},
        {"GET /" + QByteArray(THttpReader::kMaxLine + 10, 'a'), 414},
        {"GET /management/apiversions HTTP/1.1\r\nConnection: close\r\n\r\n", 200},
        {"PUT /api/v1/focuser/0/move HTTP/1.1\r\nHost: rebound.example:11111\r\n"
         "Content-Length: 10\r\n\r\nPosition=1",
         403},
    };
    for (const auto& c : cases) {
        TAlpacaClient client(server.Port());
        client.Send(c.request);
        const TClientAnswer answer = client.Next();
        EXPECT_EQ(answer.status, c.status);
        EXPECT_TRUE(answer.head.contains("Connection: close"));
        EXPECT_TRUE(WaitFor(
            [&] { return client.socket.state() == QAbstractSocket::UnconnectedState; }, 10000));
    }
    EXPECT_TRUE(WaitFor([&] { return server.Clients() == 0; }, 10000));
}

// Each family on loopback, unicast and IPv6's group: a version 1 request is answered to its
// sender with the API's port, whatever a client adds after the version; nothing else is.
TEST_F(AlpacaServerTest, DiscoveryAnswersOverIPv4AndIPv6) {
    // The IPv6 group's own datagrams do not come back through loopback on most kernels: the
    // group is joined on the interfaces that multicast, and answers as the unicast does.
    const std::tuple<QHostAddress, QByteArray, bool> cases[] = {
        {QHostAddress::LocalHost, "alpacadiscovery1 nina", true},
        {QHostAddress::LocalHost, "alpacadiscovery2", false},
        {QHostAddress::LocalHostIPv6, "alpacadiscovery1", true}};
    for (const auto& [to, request, answered] : cases) {
        const auto answer = Discover(to, server.DiscoveryPort(), request, answered ? 10000 : 500);
        if (!answer) GTEST_SKIP() << "this computer has no " << to.toString().toStdString();
        EXPECT_EQ(*answer,
                  answered ? "{\"AlpacaPort\":" + QByteArray::number(server.Port()) + "}" : "")
            << to.toString().toStdString() << " " << request.data();
    }
}

// A sender that floods gets a few answers; another sender is answered meanwhile.
TEST_F(AlpacaServerTest, DiscoveryAnswersAreBoundedPerSender) {
    QUdpSocket flood;
    ASSERT_TRUE(flood.bind(QHostAddress::LocalHost, 0));
    // No more than the system keeps for the socket before the server reads.
    for (int i = 0; i < 80; ++i)
        flood.writeDatagram("alpacadiscovery1", QHostAddress::LocalHost, server.DiscoveryPort());
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    other.writeDatagram("alpacadiscovery1", QHostAddress::LocalHost, server.DiscoveryPort());
    EXPECT_TRUE(WaitFor([&] { return other.hasPendingDatagrams(); }, 10000));
    Pump(500);
    int answers = 0;
    while (flood.hasPendingDatagrams() && flood.receiveDatagram().isValid())
        ++answers;
    EXPECT_GE(answers, 1);
    EXPECT_LE(answers, 20);
}

TEST_F(AlpacaServerTest, StopClosesEveryConnectionAndATakenPortIsSaid) {
    TAlpacaClient client(server.Port());
    EXPECT_TRUE(WaitFor([&] { return server.Clients() == 1; }, 10000));
    server.Stop();
    EXPECT_FALSE(server.Listening());
    EXPECT_EQ(server.Clients(), 0);
    EXPECT_TRUE(
        WaitFor([&] { return client.socket.state() == QAbstractSocket::UnconnectedState; }, 10000));

    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    server.SetPort(taken.serverPort());
    try {
        server.Start();
        ADD_FAILURE() << "started on a taken port";
    } catch (const Failure& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Erreur socket : ")))
            << e.Message().toStdString();
    }
    EXPECT_FALSE(server.Listening());
}

// A peer that took the discovery port with SO_REUSEPORT alone does not keep the server out.
TEST_F(AlpacaServerTest, DiscoverySharesWithAPeerThatOnlyReusesThePort) {
    const int peer = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(peer, 0);
    const int one = 1;
    ASSERT_EQ(::setsockopt(peer, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one), 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(peer, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
    socklen_t size = sizeof at;
    ASSERT_EQ(::getsockname(peer, reinterpret_cast<sockaddr*>(&at), &size), 0);
    TAlpacaServer second{service, {}};
    second.SetListenAddress(QHostAddress::LocalHost);
    second.SetPort(0);
    second.SetDiscoveryPort(ntohs(at.sin_port));
    EXPECT_NO_THROW(second.Start());
    EXPECT_EQ(second.DiscoveryPort(), ntohs(at.sin_port));
    ::close(peer);
}
