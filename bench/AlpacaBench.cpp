// SPDX-License-Identifier: GPL-3.0-or-later
// The Alpaca server under load on 127.0.0.1: 50 keep-alive clients asking focuser 0's position
// for 10 s, answered by the real adapter over a focuser on its link to a simulated Quillo.
// Prints answers per second, latency and memory. Clients run on a worker thread over plain
// sockets; the server runs on the GUI thread.
#include "AlpacaServer.h"
#include "AlpacaService.h"
#include "BenchSupport.h"
#include "Focuser.h"
#include "FocuserDevice.h"
#include "SimFocuser.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// From 127.0.0.1 to 127.0.0.8 in turn: the server takes no more than a quarter of its
// connections from one address.
int Connect(quint16 port) {
    static unsigned turn = 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = htonl(INADDR_LOOPBACK + turn++ % 8);
    ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Runs work on a worker thread while the GUI thread serves; returns when work has ended.
void WhileServing(QCoreApplication& app, const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (done) app.quit();
    });
    poll.start(20);
    app.exec();
    worker.join();
}

struct TClient {
    int fd = -1;
    Clock::time_point sent;
    std::string in;
    long transaction = 0;
};

// Keep-alive clients: each sends its next request once the whole answer has come.
std::vector<double> Load(quint16 port, int clients, std::chrono::seconds length, int& wrong) {
    std::vector<TClient> all(clients);
    std::vector<pollfd> fds(clients);
    auto request = [](TClient& c) {
        const std::string text = "GET /api/v1/focuser/0/position?ClientID=1&ClientTransactionID=" +
                                 std::to_string(++c.transaction) +
                                 " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        c.sent = Clock::now();
        ::send(c.fd, text.data(), text.size(), MSG_NOSIGNAL);
    };
    for (int i = 0; i < clients; ++i) {
        all[i].fd = Connect(port);
        fds[i] = {all[i].fd, POLLIN, 0};
        request(all[i]);
    }
    std::vector<double> latencies;
    latencies.reserve(1 << 20);
    const Clock::time_point end = Clock::now() + length;
    char buffer[65536];
    while (Clock::now() < end) {
        if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
        for (int i = 0; i < clients; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            TClient& c = all[i];
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                fds[i].fd = -1;
                continue;
            }
            c.in.append(buffer, size_t(n));
            const size_t head = c.in.find("\r\n\r\n");
            const size_t lengthAt = c.in.find("Content-Length: ");
            if (head == std::string::npos || lengthAt == std::string::npos) continue;
            const size_t whole = head + 4 + std::stoul(c.in.substr(lengthAt + 16));
            if (c.in.size() < whole) continue;
            const std::string body = c.in.substr(head + 4, whole - head - 4);
            if (body.find("\"ClientTransactionID\":" + std::to_string(c.transaction) + ",") ==
                    std::string::npos ||
                body.find("\"ErrorNumber\":0") == std::string::npos)
                ++wrong;
            c.in.erase(0, whole);
            latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - c.sent).count());
            request(c);
        }
    }
    for (TClient& c : all)
        ::close(c.fd);
    return latencies;
}

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size())));
    std::nth_element(values.begin(), values.begin() + long(at), values.end());
    return values[at];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TSimFocuser simulated;
    TFocuser focuser(1, [](const QString&) {});
    focuser.Open(QString::fromStdString(simulated.Port()));
    TAlpacaFocuser device(focuser, 0);
    // One position poll, as tracking sends it, so that the adapter has a reading to answer.
    focuser.AskPosition = true;
    focuser.Poll();
    {
        QEventLoop wait;
        QTimer::singleShot(3000, &wait, &QEventLoop::quit);
        QObject::connect(&focuser, &TFocuser::Reading, &wait, &QEventLoop::quit);
        wait.exec();
    }

    TServerInfo info;
    info.version = QStringLiteral("bench");
    TAlpacaService service(info, {&device});
    TAlpacaServer server(service, [](const QString& line) {
        std::printf("server: %s\n", line.toUtf8().constData());
    });
    server.SetListenAddress(QHostAddress::LocalHost);
    server.SetPort(0);
    server.SetDiscoveryPort(0);
    server.Start();

    constexpr int kClients = 50;
    const double rssStart = RssMiB();
    std::vector<double> latencies;
    int wrong = 0;
    WhileServing(
        app, [&] { latencies = Load(server.Port(), kClients, std::chrono::seconds(10), wrong); });
    std::printf("%d keep-alive clients, focuser 0 position for 10 s: %zu answers, %.0f per "
                "second, %d wrong\n",
                kClients, latencies.size(), double(latencies.size()) / 10.0, wrong);
    std::printf("latency p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(latencies, 0.50),
                Percentile(latencies, 0.99), Percentile(latencies, 1.0));
    std::printf("RSS before %.1f MiB, after %.1f MiB; position %d\n", rssStart, RssMiB(),
                focuser.Position);
    server.Stop();
    focuser.Close();
    return 0;
}
