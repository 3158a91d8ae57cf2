// SPDX-License-Identifier: GPL-3.0-or-later
// A night compressed into minutes: the program with simulated accessories, tracking at a few
// milliseconds until the charts hold a 12-hour night's points, after cables were pulled and
// plugged back and Connect All / Disconnect All pressed a few times, while the phone page, the
// INDI and the Alpaca servers serve their clients (and a focuser pulled mid-night comes back by
// itself). Prints memory, CPU, the longest stall of the GUI thread, the descriptors and threads
// before and after, and what the clients received. A timing program: it asserts nothing.
#include "AlpacaForm.h"
#include "AlpacaHost.h"
#include "AlpacaServer.h"
#include "BenchSupport.h"
#include "CommandLine.h"
#include "DewController.h"
#include "ErrorBox.h"
#include "ErrorReport.h"
#include "Focuser.h"
#include "HistoryChart.h"
#include "IndiForm.h"
#include "MainForm.h"
#include "PortList.h"
#include "QLOForm.h"
#include "QLOWebserver.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "SoakClients.h"
#include "Startup.h"

#include <QCoroTask>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTcpServer>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <sstream>

namespace {

// One point per 2 s per series and 12 hours: the focuser chart of a tracked night. A shorter
// night can be asked on the command line (soak_bench POINTS).
constexpr qsizetype kNightPoints = 650000;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
int Count(const char* dir) {
    return int(QDir(QLatin1String(dir))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// Runs the event loop for ms while the watchdog measures how long the GUI thread goes without
// taking a 5 ms timer.
class Watchdog {
  public:
    Watchdog() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Beat(); });
        timer_.start(5);
        clock_.start();
    }
    void Run(int ms) {
        QElapsedTimer run;
        run.start();
        while (run.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // Runs the event loop until done() holds (at most ms).
    template <class F> void RunUntil(F done, int ms) {
        QElapsedTimer run;
        run.start();
        while (!done() && run.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    qint64 TakeLongest() { return std::exchange(longest_, 0); }
    qint64 Longest() const { return worst_; }

  private:
    void Beat() {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        worst_ = std::max(worst_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    qint64 worst_ = 0;
};

struct Devices {
    std::unique_ptr<TSimFocuser> focuser1, focuser2;
    std::unique_ptr<TSimDewController> dew;
};

void Link(const QDir& folder, const QString& name, const TSimDevice& device) {
    QFile::remove(folder.filePath(name));
    QFile::link(QString::fromStdString(device.Port()), folder.filePath(name));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C.UTF-8"); // the simulated devices write "."
    TSkyvarnApplication app(argc, argv);
    const qsizetype nightPoints = argc > 1 ? QByteArray(argv[1]).toLongLong() : kNightPoints;
    int errorReports = 0;
    SetErrorReporter([&](const QString& message) {
        ++errorReports;
        std::printf("error report: %s\n", qPrintable(message));
    });
    QTemporaryDir ports;
    const QDir folder(ports.path());
    SetPortSource([&] { return FolderPorts(ports.path()); });

    TDewOptions dewOptions;
    dewOptions.timeScale = 60; // an hour of weather a minute: the outputs move
    dewOptions.settings.automatic = true;
    Devices d;
    auto plugFocuser2AndDew = [&] {
        d.focuser2 = std::make_unique<TSimFocuser>();
        d.dew = std::make_unique<TSimDewController>(dewOptions);
        Link(folder, "b-focuser", *d.focuser2);
        Link(folder, "c-dew", *d.dew);
    };
    d.focuser1 = std::make_unique<TSimFocuser>();
    Link(folder, "a-focuser", *d.focuser1);
    plugFocuser2AndDew();

    CreateForms(false);
    TFormMain* m = FormMain;
    m->Tracking.SetIntervalsForSoak(1, 2);
    Watchdog watchdog;
    auto press = [&] { // Connect All / Disconnect All, and the search to its end
        m->ButtonLoadDevicesClick();
        watchdog.RunUntil([&] { return !m->Searching(); }, 60000);
    };

    // The three servers on loopback, free ports, as --remote --indi --alpaca start them.
    FormQLOWS->SetListenAddress(QHostAddress::LocalHost);
    FormQLOWS->SetServerPort(0);
    FormIndi->SetListenAddress(QHostAddress::LocalHost);
    FormIndi->SpinEditIndiPort->setValue(0);
    AlpacaHost->Server().SetListenAddress(QHostAddress::LocalHost);
    AlpacaHost->Server().SetDiscoveryPort(0);
    AlpacaHost->Form().SpinEditAlpacaPort->setValue(0);
    std::ostringstream printed;
    TStartOptions options;
    options.remote = options.indi = options.alpaca = true;
    Launch(RunStartOptions(options, printed, printed));
    watchdog.RunUntil([] { return FormQLOWS->HttpServer->isListening(); }, 10000);
    TSoakClients clients({FormQLOWS->ServerPort(), quint16(FormIndi->SpinEditIndiPort->value()),
                          AlpacaHost->Server().Port()});
    watchdog.Run(500);
    const int fdsBefore = Count("/proc/self/fd");
    const int threadsBefore = Count("/proc/self/task");
    const double rssStart = RssMiB();
    std::printf("start (servers and their clients up): RSS %.1f MiB, %d descriptors, %d threads\n",
                rssStart, fdsBefore, threadsBefore);
    auto clientLine = [&] {
        const TSoakClients::Counts c = clients.Take();
        return QStringLiteral("pages %1, Alpaca answers %2, INDI %3 bytes, moves asked %4, short "
                              "connections %5, reconnects %6")
            .arg(c.pages)
            .arg(c.alpacaAnswers)
            .arg(c.indiBytes)
            .arg(c.moves)
            .arg(c.shortLived)
            .arg(c.reconnects);
    };

    // Cables pulled and plugged back, Connect All / Disconnect All pressed a few times.
    for (int round = 1; round <= 3; ++round) {
        press();
        FormQLO->RadioButtonFocuser1->setChecked(true); // the phone moves focuser 1
        watchdog.Run(3000);
        d.focuser2->Unplug();
        d.dew->Unplug();
        watchdog.Run(2000);
        plugFocuser2AndDew();
        press(); // Disconnect All
        watchdog.Run(300);
        std::printf("round %d: RSS %.1f MiB, %d descriptors, %d threads, longest stall %lld ms; "
                    "%s\n",
                    round, RssMiB(), Count("/proc/self/fd"), Count("/proc/self/task"),
                    static_cast<long long>(watchdog.TakeLongest()), qPrintable(clientLine()));
    }

    // The night.
    press();
    QElapsedTimer night;
    night.start();
    double cpuMark = CpuSeconds();
    qint64 wallMark = 0;
    enum { InPlace, Pulled, Back } focuser2 = InPlace;
    qint64 pulledAt = 0;
    int maxFds = 0, maxThreads = 0;
    while (m->ChartQLO->PointCount(0) < nightPoints) {
        watchdog.Run(10000);
        int moves = 0;
        for (const std::string& c : d.focuser1->Commands())
            moves += c.size() == 6 && (c[0] == 'I' || c[0] == 'O');
        // The simulators record every command they receive; that is their memory, not ours.
        for (TSimDevice* sim :
             std::initializer_list<TSimDevice*>{d.focuser1.get(), d.focuser2.get(), d.dew.get()})
            sim->ClearReceived();
        const qint64 wall = night.elapsed();
        if (focuser2 == InPlace && m->ChartQLO->PointCount(0) > nightPoints / 2) {
            d.focuser2->Unplug(); // shown as lost; tracking goes on for the others
            focuser2 = Pulled;
            pulledAt = wall;
        } else if (focuser2 == Pulled && wall - pulledAt >= 20000) {
            const bool lost = !m->QLO2->Connected();
            d.focuser2->Plug(); // on a new pseudo-terminal behind the same name
            Link(folder, "b-focuser", *d.focuser2);
            focuser2 = Back;
            auto back = [&] {
                return m->MemoAdminMsgs->toPlainText().contains(
                    QStringLiteral("Reconnected: Quillo 2"));
            };
            watchdog.RunUntil(back, 30000);
            std::printf("focuser 2 plugged back (its link %s while pulled): %s after %.1f s\n",
                        lost ? "closed" : "STILL OPEN",
                        back() ? "reconnected by itself" : "NOT reconnected",
                        (night.elapsed() - wall) / 1000.0);
        }
        const double cpu = CpuSeconds();
        const int fds = Count("/proc/self/fd"), threads = Count("/proc/self/task");
        maxFds = std::max(maxFds, fds);
        maxThreads = std::max(maxThreads, threads);
        std::printf(
            "%5lld s: %7lld points, chart memory %.1f MiB, RSS %.1f MiB, CPU %.0f %%, "
            "longest stall %lld ms, %d descriptors, %d threads; focuser 1 moved %d times; %s\n",
            static_cast<long long>(wall / 1000), static_cast<long long>(m->ChartQLO->PointCount(0)),
            double(m->ChartQLO->MemoryBytes() + m->ChartBRS->MemoryBytes()) / 1048576, RssMiB(),
            100 * (cpu - cpuMark) / (double(wall - wallMark) / 1000),
            static_cast<long long>(watchdog.TakeLongest()), fds, threads, moves,
            qPrintable(clientLine()));
        std::fflush(stdout);
        cpuMark = cpu;
        wallMark = wall;
    }
    const double rssNight = RssMiB();
    const double chartMiB =
        double(m->ChartQLO->MemoryBytes() + m->ChartBRS->MemoryBytes()) / 1048576;
    press(); // Disconnect All
    watchdog.Run(500);
    std::printf("night: %lld points in %.0f s; RSS %.1f MiB at the end of the night (charts "
                "%.1f MiB), %.1f MiB after Disconnect All\n",
                static_cast<long long>(m->ChartQLO->PointCount(0)), night.elapsed() / 1000.0,
                rssNight, chartMiB, RssMiB());
    std::printf("RSS growth beyond the charts: %.1f MiB\n", rssNight - rssStart - chartMiB);
    std::printf("commands focuser 1 received while a move ran: %d\n",
                d.focuser1->CommandsDuringMoves());
    std::printf("descriptors %d -> %d (at most %d in the night), threads %d -> %d (at most %d), "
                "longest GUI stall %lld ms, error reports %d\n",
                fdsBefore, Count("/proc/self/fd"), maxFds, threadsBefore, Count("/proc/self/task"),
                maxThreads, static_cast<long long>(watchdog.Longest()), errorReports);
    DestroyForms();
    return 0;
}
