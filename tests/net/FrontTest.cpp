// SPDX-License-Identifier: GPL-3.0-or-later
// The network front over real loopback connections, with a line protocol: each line the client
// ends is a request, answered with "ok".
#include "Front.h"
#include "QtTestSupport.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

// Texts in failure messages as text, not as bytes.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

struct TChunk {
    int id;
    QByteArray bytes;
};

class TLines : public net::THandler {
  public:
    TLines(std::shared_ptr<net::TConnection> c, QList<TChunk>& chunks)
        : connection(std::move(c)), chunks_(chunks) {}
    void received(const QByteArray& bytes) override {
        chunks_ << TChunk{connection->id(), bytes};
        for (qsizetype i = bytes.count('\n'); i > 0; --i) {
            connection->requestCompleted();
            connection->send("ok\n");
        }
        if (bytes.contains("bye")) connection->close(QStringLiteral("Said bye"));
    }

    std::shared_ptr<net::TConnection> connection;

  private:
    QList<TChunk>& chunks_;
};

class FrontTest : public testing::Test {
  protected:
    void Listen(const net::TLimits& limits) {
        front.setLimits(limits);
        front.listen(QHostAddress(QHostAddress::LocalHost).toIPv4Address(), 0);
    }
    bool Closed(QTcpSocket& client) {
        return WaitFor(
            [&] {
                client.readAll();
                return client.state() == QAbstractSocket::UnconnectedState;
            },
            10000);
    }
    QByteArray Answer(QTcpSocket& client, const QByteArray& request) {
        client.write(request);
        QByteArray answer;
        WaitFor(
            [&] {
                answer += client.readAll();
                return answer.endsWith('\n');
            },
            10000);
        return answer;
    }
    // Connected, unless refused: then left unconnected once the front has closed it. From
    // 127.0.0.<source>.
    std::unique_ptr<QTcpSocket> Client(bool refused = false, int source = 1) {
        auto client = std::make_unique<QTcpSocket>();
        if (source != 1) client->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(source)));
        client->connectToHost(QHostAddress::LocalHost, front.serverPort());
        if (!refused) {
            EXPECT_TRUE(
                WaitFor([&] { return client->state() == QAbstractSocket::ConnectedState; }, 10000));
        }
        return client;
    }

    QStringList log;
    QList<TChunk> chunks;
    std::vector<std::shared_ptr<TLines>> handlers;
    net::TFront front{[this](const std::shared_ptr<net::TConnection>& c) {
                          handlers.push_back(std::make_shared<TLines>(c, chunks));
                          return handlers.back();
                      },
                      [this](const QString& line) { log << line; }};
};

TEST_F(FrontTest, ConnectionsBeyondTheLimitAreClosedAtOnceAndLoggedOnce) {
    net::TLimits limits;
    limits.maxConnections = 3;
    Listen(limits);
    std::vector<std::unique_ptr<QTcpSocket>> kept;
    for (int i = 0; i < 3; ++i) {
        kept.push_back(Client());
        EXPECT_EQ(Answer(*kept.back(), "hello\n"), "ok\n");
    }
    std::vector<std::unique_ptr<QTcpSocket>> refused;
    for (int i = 0; i < 4; ++i)
        refused.push_back(Client(true));
    for (auto& client : refused)
        EXPECT_TRUE(Closed(*client));
    EXPECT_EQ(front.connectionCount(), 3);
    EXPECT_EQ(log, QStringList{"0: 3 connections open, new ones are closed"});

    kept[0]->write("bye\n");
    EXPECT_TRUE(Closed(*kept[0]));
    EXPECT_TRUE(WaitFor([&] { return front.connectionCount() == 2; }, 10000));
    auto next = Client();
    EXPECT_EQ(Answer(*next, "hello\n"), "ok\n");
    EXPECT_EQ(log, QStringList({"0: 3 connections open, new ones are closed",
                                "1: Said bye, connection closed",
                                "0: 4 new connections were closed while 3 were open"}));
}

// One address takes at most its share of the connections; a client that never completes a
// request is closed even where one that has spoken may stay silent.
TEST_F(FrontTest, EachAddressHasItsShareAndSilenceBeforeTheFirstRequestEndsAConnection) {
    net::TLimits limits;
    limits.perAddress = 2;
    limits.idle = 1s;
    limits.idleAfterFirstRequest = false;
    Listen(limits);
    auto spoken = Client();
    EXPECT_EQ(Answer(*spoken, "hello\n"), "ok\n");
    auto silent = Client();
    auto refused = Client(true);
    EXPECT_TRUE(Closed(*refused));
    auto other = Client(false, 2);
    EXPECT_EQ(Answer(*other, "hello\n"), "ok\n");
    EXPECT_TRUE(Closed(*silent));
    auto again = Client();
    EXPECT_EQ(Answer(*again, "hello\n"), "ok\n");
    Pump(1500);
    EXPECT_EQ(spoken->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(log,
              QStringList({"0: 2 connections from 127.0.0.1 open, its new ones are closed",
                           "2: No request for 1 s, connection closed",
                           "0: 1 new connections from 127.0.0.1 were closed while 2 were open"}));
}

// Lines about single connections beyond the rate are counted and said in one line.
TEST_F(FrontTest, ConnectionLinesBeyondTheRateAreSummarised) {
    net::TLimits limits;
    limits.linesPerSecond = 2;
    front.setLimits(limits);
    for (int i = 1; i <= 10; ++i)
        front.note(QStringLiteral("%1: client connected").arg(i));
    EXPECT_TRUE(WaitFor([&] { return log.size() == 3; }, 10000));
    EXPECT_EQ(log, QStringList({"1: client connected", "2: client connected",
                                "0: ... 8 more connections"}));
}

TEST_F(FrontTest, ReadsAreBoundedChunksTakenInTurnFromEachClient) {
    Listen({});
    auto a = Client();
    auto b = Client();
    const QByteArray bulk(64 * 1024, 'x');
    a->write(bulk);
    b->write(bulk);
    a->flush(); // both are in the system before the front reads either
    b->flush();
    ASSERT_TRUE(WaitFor(
        [&] {
            qsizetype total = 0;
            for (const TChunk& c : chunks)
                total += c.bytes.size();
            return total == 2 * bulk.size();
        },
        10000));
    int longestRun = 0, run = 0, last = 0;
    for (const TChunk& c : chunks) {
        EXPECT_LE(c.bytes.size(), 8 * 1024);
        run = c.id == last ? run + 1 : 1;
        last = c.id;
        longestRun = std::max(longestRun, run);
    }
    // Both clients' bytes were there together: neither took several turns in a row.
    EXPECT_LE(longestRun, 3) << chunks.size() << " chunks";
}

// Out of descriptors, the front stops watching its socket instead of failing in a loop, leaves
// a descriptor to the rest of the program, and accepts again once descriptors are free.
TEST_F(FrontTest, OutOfDescriptorsAcceptingPausesAndResumes) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "not under AddressSanitizer: its runtime needs free descriptors";
#endif
    Listen({});
    sockaddr_in place{};
    place.sin_family = AF_INET;
    place.sin_port = htons(front.serverPort());
    place.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<int> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 4096);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::vector<int> filler;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        filler.push_back(fd);
    for (int fd : clients)
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&place), sizeof place), 0);
    const double cpu = ProcessCpuSeconds();
    Pump(1000);
    const double used = ProcessCpuSeconds() - cpu;
    // The spare it gave up is free for the program.
    const int free = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_GE(free, 0);
    if (free >= 0) ::close(free);
    for (int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(front.connectionCount(), 0);
    EXPECT_LT(used, 0.3) << "accepting spun";
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log[0], "0: Error on Accept: Too many open files, accepting paused");

    EXPECT_TRUE(WaitFor([&] { return front.connectionCount() == 3; }, 10000))
        << log.join('\n').toStdString();
    EXPECT_EQ(log.size(), 2);
    EXPECT_EQ(log.last(), "0: Accepting again");
    for (int fd : clients) {
        ASSERT_EQ(::write(fd, "hi\n", 3), 3);
        char answer[3] = {};
        EXPECT_TRUE(WaitFor([&] { return ::recv(fd, answer, 3, MSG_DONTWAIT) == 3; }, 10000));
        EXPECT_EQ(QByteArray(answer, 3), "ok\n");
        ::close(fd);
    }
}

} // namespace
