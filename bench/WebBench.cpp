// SPDX-License-Identifier: GPL-3.0-or-later
// The phone control server under load, through the real remote-access window on 127.0.0.1:
// 64 keep-alive connections (the most it keeps) asking /refresh? for 10 s (answers per second,
// latency, memory),
// then clients that never end their request or never read their answers (memory stays bounded).
// Clients run on a worker thread over plain sockets; the server runs on the GUI thread.
#include "BenchSupport.h"
#include "QLOWebserver.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class TStillFocuser : public TRemoteFocuser {
  public:
    int Position() const override { return 12345; }
    double Temperature() const override { return 21.5; }
    QCoro::Task<> MoveIn(int) override { co_return; }
    QCoro::Task<> MoveOut(int) override { co_return; }
    QCoro::Task<> MoveTo(int) override { co_return; }
};

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
void WhileServing(QApplication& app, const std::function<void()>& work) {
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

struct TConnection {
    int fd = -1;
    Clock::time_point sent;
    std::string in;
};

// Keep-alive clients: each sends its next request once the whole answer has come.
std::vector<double> Load(quint16 port, int connections, std::chrono::seconds length) {
    const std::string request = "GET /refresh? HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::vector<TConnection> clients(connections);
    std::vector<pollfd> fds(connections);
    for (int i = 0; i < connections; ++i) {
        clients[i].fd = Connect(port);
        fds[i] = {clients[i].fd, POLLIN, 0};
        clients[i].sent = Clock::now();
        ::send(clients[i].fd, request.data(), request.size(), MSG_NOSIGNAL);
    }
    std::vector<double> latencies;
    latencies.reserve(1 << 20);
    const Clock::time_point end = Clock::now() + length;
    char buffer[65536];
    while (Clock::now() < end) {
        if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
        for (int i = 0; i < connections; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            TConnection& c = clients[i];
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
            c.in.erase(0, whole);
            const Clock::time_point now = Clock::now();
            latencies.push_back(std::chrono::duration<double, std::milli>(now - c.sent).count());
            c.sent = now;
            ::send(c.fd, request.data(), request.size(), MSG_NOSIGNAL);
        }
    }
    for (TConnection& c : clients)
        ::close(c.fd);
    return latencies;
}

// Clients that send endless header text: each is cut off by the server and comes again.
void Unended(quint16 port, std::chrono::seconds length, long& bytes, int& cut) {
    const std::string start = "GET / HTTP/1.1\r\nX-Endless: ";
    const std::string more(1024, 'a');
    const Clock::time_point end = Clock::now() + length;
    while (Clock::now() < end) {
        const int fd = Connect(port);
        ssize_t n = ::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
        while (n > 0 && Clock::now() < end) {
            bytes += n;
            n = ::send(fd, more.data(), more.size(), MSG_NOSIGNAL);
        }
        if (n <= 0) ++cut;
        ::close(fd);
    }
}

// Clients that send requests and never read: each is cut off once its answers pile up.
void Unread(quint16 port, std::chrono::seconds length, long& bytes, int& cut) {
    std::string requests;
    for (int i = 0; i < 1000; ++i)
        requests += "GET / HTTP/1.1\r\n\r\n";
    const Clock::time_point end = Clock::now() + length;
    while (Clock::now() < end) {
        const int fd = Connect(port);
        const timeval wait{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        ssize_t n = 1;
        while (n > 0 && Clock::now() < end) {
            n = ::send(fd, requests.data(), requests.size(), MSG_NOSIGNAL);
            if (n > 0) bytes += n;
        }
        if (n < 0 && errno != EAGAIN) ++cut;
        ::close(fd);
    }
}

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size())));
    std::nth_element(values.begin(), values.begin() + long(at), values.end());
    return values[at];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TStillFocuser focuser;
    TFormQLOWS form(focuser);
    form.SetServerPort(0);
    form.SetListenAddress(QHostAddress::LocalHost);
    form.SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
    form.BtnStartClick();
    const quint16 port = form.ServerPort();

    const double rssStart = RssMiB();
    std::vector<double> latencies;
    WhileServing(app, [&] { latencies = Load(port, 64, std::chrono::seconds(10)); });
    const double rssLoad = RssMiB();
    std::printf("64 keep-alive connections, /refresh? for 10 s: %zu answers, %.0f per second\n",
                latencies.size(), double(latencies.size()) / 10.0);
    std::printf("latency p50 %.2f ms, p99 %.2f ms\n", Percentile(latencies, 0.50),
                Percentile(latencies, 0.99));
    std::printf("RSS before %.1f MiB, after %.1f MiB (memo %d lines)\n", rssStart, rssLoad,
                form.MemoHttpTraffic->blockCount());

    long bytes = 0;
    int cut = 0;
    WhileServing(app, [&] { Unended(port, std::chrono::seconds(5), bytes, cut); });
    const double rssUnended = RssMiB();
    std::printf("unended requests for 5 s: %.1f MiB sent, %d connections cut off; RSS %.1f MiB\n",
                double(bytes) / (1024 * 1024), cut, rssUnended);

    bytes = 0;
    cut = 0;
    WhileServing(app, [&] { Unread(port, std::chrono::seconds(5), bytes, cut); });
    std::printf("unread answers for 5 s: %.1f MiB of requests sent, %d connections cut off; "
                "RSS %.1f MiB\n",
                double(bytes) / (1024 * 1024), cut, RssMiB());
    form.BtnStopClick();
    return 0;
}
