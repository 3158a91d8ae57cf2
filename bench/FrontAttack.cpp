// SPDX-License-Identifier: GPL-3.0-or-later
// The attacks of an adversary on the network against a running Skyvarn (phone page, INDI and
// Alpaca servers, discovery), from loopback, with what a legitimate client gets meanwhile and
// the program's CPU and memory. Prints its figures; asserts nothing.
// Usage: front_attack PID [PHONE_PORT INDI_PORT ALPACA_PORT DISCOVERY_PORT [CONNECTIONS]]
// Attackers connect from 127.0.0.1, legitimate clients from 127.0.0.2 and 127.0.0.3.
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int pid = 0;
unsigned short phonePort = 1321, indiPort = 7624, alpacaPort = 11111, discoveryPort = 32227;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The program's CPU seconds (user and system) and resident memory in MiB.
double CpuSeconds() {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) user = std::stod(field);
        if (i == 15) system = std::stod(field);
    }
    return (user + system) / double(sysconf(_SC_CLK_TCK));
}

double RssMiB() {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return 0;
}

int Connect(unsigned short port, int source) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (source > 1) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + unsigned(source) - 1);
        ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void Send(int fd, const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += size_t(n);
    }
}

// What comes within the time, until the text holds `until` or the peer closes.
std::string Receive(int fd, std::chrono::milliseconds wait, const std::string& until,
                    bool* closed = nullptr) {
    std::string in;
    const Clock::time_point end = Clock::now() + wait;
    if (closed) *closed = false;
    while (Clock::now() < end && (until.empty() || in.find(until) == std::string::npos)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (closed) *closed = true;
            break;
        }
        in.append(buffer, size_t(n));
    }
    return in;
}

std::string Status(const std::string& answer) {
    return answer.size() >= 12 ? answer.substr(9, 3) : "none";
}

// Focuser 1's position as the phone page shows it (the last poll), -1 without an answer.
int Position() {
    const int fd = Connect(phonePort, 3);
    Send(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string page = Receive(fd, 5000ms, "</html>");
    ::close(fd);
    const size_t at = page.find("current position =</b>");
    return at == std::string::npos ? -1 : std::atoi(page.c_str() + at + 22);
}

void CrossSite() {
    const int before = Position();
    auto ask = [](unsigned short port, const std::string& request) {
        const int fd = Connect(port, 2);
        Send(fd, request);
        const std::string answer = Receive(fd, 5000ms, "\r\n\r\n");
        ::close(fd);
        return Status(answer);
    };
    const std::string noReferer = ask(phonePort, "GET /move_out?value=100 HTTP/1.1\r\nHost: "
                                                 "127.0.0.1:1321\r\nSec-Fetch-Site: cross-site\r\n"
                                                 "Sec-Fetch-Mode: no-cors\r\n\r\n");
    const std::string rebound = ask(phonePort, "GET /move_out?value=100 HTTP/1.1\r\nHost: "
                                               "rebound.example:1321\r\n\r\n");
    const std::string alpaca =
        ask(alpacaPort, "PUT /api/v1/focuser/0/move HTTP/1.1\r\nHost: rebound.example:11111\r\n"
                        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                        "14\r\n\r\nPosition=30000");
    // A form of type text/plain posted to the INDI port by a page.
    const std::string body = "<newSwitchVector device='Quillo 1' name='FOCUS_MOTION'><oneSwitch "
                             "name='FOCUS_OUTWARD'>On</oneSwitch></newSwitchVector>"
                             "<newNumberVector device='Quillo 1' name='REL_FOCUS_POSITION'>"
                             "<oneNumber name='FOCUS_RELATIVE_POSITION'>100</oneNumber>"
                             "</newNumberVector>";
    const int fd = Connect(indiPort, 2);
    Send(fd, "POST / HTTP/1.1\r\nHost: 127.0.0.1:7624\r\nContent-Type: text/plain\r\n"
             "Content-Length: " +
                 std::to_string(body.size()) + "\r\n\r\n" + body);
    bool cut = false;
    Receive(fd, 5000ms, "", &cut);
    ::close(fd);
    std::this_thread::sleep_for(4s); // a move would have ended and been polled
    const int after = Position();
    // The phone's own move, for comparison.
    const std::string own =
        ask(phonePort, "GET /move_out?value=10 HTTP/1.1\r\nHost: 127.0.0.1:1321\r\n"
                       "Sec-Fetch-Site: same-origin\r\n\r\n");
    std::this_thread::sleep_for(3s);
    std::printf("cross-site: phone without Referer %s, phone under a rebound name %s, Alpaca "
                "move under a rebound name %s, INDI form post %s; position %d before, %d after; "
                "the phone's own move by 10 %s, then at %d\n",
                noReferer.c_str(), rebound.c_str(), alpaca.c_str(), cut ? "cut" : "kept", before,
                after, own.c_str(), Position());
}

// How many of `tries` new clients from another address are served while one address holds
// every slot it can.
void Slots(const char* name, unsigned short port, const std::string& request,
           const std::string& answer, bool silent) {
    std::vector<int> held;
    for (int i = 0; i < 64; ++i) {
        const int fd = Connect(port, 1);
        if (fd < 0) continue;
        if (!silent) Send(fd, request);
        held.push_back(fd);
    }
    std::this_thread::sleep_for(500ms);
    std::vector<int> kept; // not closed at once by the server
    for (int fd : held) {
        pollfd p{fd, POLLIN, 0};
        char c;
        if (::poll(&p, 1, 0) == 0 || ::recv(fd, &c, 1, MSG_PEEK) > 0) kept.push_back(fd);
    }
    const int open = int(kept.size());
    int served = 0;
    constexpr int kTries = 20;
    double worst = 0;
    for (int i = 0; i < kTries; ++i) {
        const Clock::time_point start = Clock::now();
        const int fd = Connect(port, 2);
        Send(fd, request);
        if (Receive(fd, 5000ms, answer).find(answer) != std::string::npos) ++served;
        worst = std::max(worst, Seconds(Clock::now() - start));
        ::close(fd);
    }
    std::printf("%s slots: %d of 64 attacking connections kept, %d of %d new clients served, "
                "slowest %.3f s\n",
                name, open, served, kTries, worst);
    if (silent) {
        // Silent ones are closed once they have said nothing for 15 s.
        std::this_thread::sleep_for(16s);
        int closed = 0;
        for (int fd : kept) {
            bool gone = false;
            Receive(fd, 10ms, "", &gone);
            closed += gone;
        }
        std::printf("%s slots: %d of the %d silent connections kept closed after 16 s\n", name,
                    closed, open);
    }
    for (int fd : held)
        ::close(fd);
}

double IndiAnswer() {
    const Clock::time_point start = Clock::now();
    const int fd = Connect(indiPort, 3);
    Send(fd, "<getProperties version='1.7' device='Quillo 1' name='FOCUS_MAX'/>");
    const bool got =
        Receive(fd, 10000ms, "</defNumberVector>").find("FOCUS_MAX") != std::string::npos;
    ::close(fd);
    return got ? Seconds(Clock::now() - start) : -1;
}

void Subscriptions() {
    const double cpu = CpuSeconds();
    const Clock::time_point start = Clock::now();
    const int fd = Connect(indiPort, 1);
    std::string chunk;
    for (int i = 0; chunk.size() < 1 << 20; ++i)
        chunk += "<getProperties version='1.7' device='made up " + std::to_string(i) + "'/>";
    for (int i = 0; i < 12; ++i)
        Send(fd, chunk);
    const double during = IndiAnswer();
    const double sent = Seconds(Clock::now() - start);
    ::close(fd);
    std::this_thread::sleep_for(2s);
    const double cpuSpent = CpuSeconds() - cpu;
    const double wall = Seconds(Clock::now() - start);
    const double idleCpu = CpuSeconds();
    std::this_thread::sleep_for(3s);
    std::printf("subscriptions: 12 MiB of getProperties for made-up devices sent in %.1f s, "
                "CPU %.0f %% of a core meanwhile, %.0f %% after; a client's answer %.3f s "
                "during, %.3f s after\n",
                sent, 100 * cpuSpent / wall, 100 * (CpuSeconds() - idleCpu) / 3, during,
                IndiAnswer());
}

void Churn(int connections) {
    const double before = RssMiB();
    const double cpu = CpuSeconds();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < connections; ++i) {
        const int fd = Connect(indiPort, 1);
        if (fd < 0) continue;
        Send(fd, "<getProperties version='1.7'/>");
        // Reset rather than closed, so that no port waits out TIME_WAIT.
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }
    const double after = RssMiB();
    const double wall = Seconds(Clock::now() - start);
    const double used = CpuSeconds() - cpu;
    std::this_thread::sleep_for(5s);
    std::printf("churn: %d INDI connections in %.0f s, CPU %.0f %% of a core; RSS %.1f MiB "
                "before, %.1f right after, %.1f 5 s later\n",
                connections, wall, 100 * used / wall, before, after, RssMiB());
}

double AlpacaAnswer() {
    const Clock::time_point start = Clock::now();
    const int fd = Connect(alpacaPort, 3);
    Send(fd, "GET /management/apiversions HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const bool got = Receive(fd, 10000ms, "}").find("Value") != std::string::npos;
    ::close(fd);
    return got ? Seconds(Clock::now() - start) : -1;
}

void DiscoveryFlood() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(discoveryPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const double cpu = CpuSeconds();
    const Clock::time_point start = Clock::now();
    long sent = 0;
    double worst = 0;
    std::thread legit([&] {
        while (Clock::now() - start < 20s) {
            worst = std::max(worst, AlpacaAnswer());
            std::this_thread::sleep_for(500ms);
        }
    });
    while (Clock::now() - start < 20s)
        for (int i = 0; i < 1000; ++i)
            sent += ::sendto(fd, "alpacadiscovery1", 16, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&to), sizeof to) > 0;
    legit.join();
    ::close(fd);
    std::printf("discovery: %ld datagrams in 20 s, CPU %.0f %% of a core; slowest Alpaca answer "
                "meanwhile %.3f s\n",
                sent, 100 * (CpuSeconds() - cpu) / Seconds(Clock::now() - start), worst);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: front_attack PID [PHONE INDI ALPACA DISCOVERY "
                             "[CONNECTIONS]]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is known
    pid = std::atoi(argv[1]);
    if (argc >= 6) {
        phonePort = (unsigned short)std::atoi(argv[2]);
        indiPort = (unsigned short)std::atoi(argv[3]);
        alpacaPort = (unsigned short)std::atoi(argv[4]);
        discoveryPort = (unsigned short)std::atoi(argv[5]);
    }
    const int connections = argc >= 7 ? std::atoi(argv[6]) : 94000;
    std::printf("start: RSS %.1f MiB\n", RssMiB());
    CrossSite();
    Slots("INDI", indiPort, "<getProperties version='1.7'/>", "<def", true);
    Slots("phone", phonePort, "GET /refresh? HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "</html>",
          false);
    Slots("Alpaca", alpacaPort, "GET /management/apiversions HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
          "Value", false);
    Subscriptions();
    Churn(connections);
    DiscoveryFlood();
    std::printf("end: RSS %.1f MiB\n", RssMiB());
}
