// SPDX-License-Identifier: GPL-3.0-or-later
// skyvarn-sim: simulated accessories on pseudo-terminals, announced in the ports folder where
// Skyvarn's discovery finds them. Runs until Ctrl-C or termination, then removes its links.
#include "Failure.h"
#include "PortsFolder.h"
#include "SimConsole.h"
#include "SimKinds.h"
#include "SimLinks.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void Usage(std::ostream& out) {
    out << "Usage: skyvarn-sim [options] [device...]\n"
           "Starts simulated accessories, each on its own pseudo-terminal linked from the\n"
           "ports folder, until interrupted. Devices (default: focuser focuser dew panels):\n";
    for (const auto& kind : SimKinds()) {
        std::string name = kind.name;
        name.resize(14, ' ');
        out << "  " << name << kind.description << "\n";
    }
    out << "Options:\n"
           "  --steps-per-second N  focuser speed at \"Average\" (default 400)\n"
           "  --time-scale X        dew controller's simulated seconds per real second\n"
           "  -h, --help            this text\n"
           "Commands on standard input while running: "
        << ConsoleHelp() << "\n";
}

bool ParseNumber(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value > 0;
}

} // namespace

int main(int argc, char** argv) {
    TSimTuning tuning;
    std::vector<TSimKind> kinds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(std::cout);
            return 0;
        }
        double* number = arg == "--steps-per-second" ? &tuning.stepsPerSecond
                         : arg == "--time-scale"     ? &tuning.timeScale
                                                     : nullptr;
        if (number) {
            if (i + 1 >= argc || !ParseNumber(argv[++i], *number)) {
                std::cerr << "skyvarn-sim: " << arg << " needs a positive number\n";
                return 2;
            }
        } else if (const auto kind = FindSimKind(arg)) {
            kinds.push_back(*kind);
        } else {
            std::cerr << "skyvarn-sim: unknown device or option '" << arg << "'\n";
            Usage(std::cerr);
            return 2;
        }
    }
    if (kinds.empty())
        for (const char* name : {"focuser", "focuser", "dew", "panels"})
            kinds.push_back(*FindSimKind(name));

    // Signals arrive through a descriptor, read by this thread only: the device threads
    // inherit the blocked mask, and nothing runs in a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, s);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("skyvarn-sim: signalfd");
        return 1;
    }

    try {
        TSimLinks links(PortsFolder().toStdString());
        TConsole console(links, tuning);
        const auto names = LinkNames(kinds);
        for (std::size_t i = 0; i < kinds.size(); ++i)
            console.Add(names[i], kinds[i], MakeSimDevice(kinds[i], tuning));
        std::cout << "skyvarn-sim: ports folder " << links.Folder() << "\n";
        console.List(std::cout);
        std::cout << "skyvarn-sim: running; Ctrl-C stops it" << std::endl;

        bool input = true;
        for (;;) {
            pollfd fds[2] = {{signalFd, POLLIN, 0}, {input ? STDIN_FILENO : -1, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo info{};
                (void)!::read(signalFd, &info, sizeof info);
                std::cout << "skyvarn-sim: " << ::strsignal(static_cast<int>(info.ssi_signo))
                          << ", stopping" << std::endl;
                break;
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                char bytes[256];
                const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
                if (n > 0)
                    console.Feed(std::string_view(bytes, static_cast<std::size_t>(n)), std::cout);
                else if (n == 0 || errno != EINTR)
                    input = false; // end of input: stopSignals only
            }
        }
    } catch (const Failure& failure) {
        std::cerr << "skyvarn-sim: " << failure.what() << "\n";
        return 1;
    }
    std::cout << "skyvarn-sim: links removed" << std::endl;
    return 0;
}
