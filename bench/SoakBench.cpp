// A night compressed into minutes: the program with simulated accessories, tracking at a few
// milliseconds until the charts hold a 12-hour night's points, after cables were pulled and
// plugged back and Connect All / Disconnect All pressed a few times. Prints memory, CPU, the
// longest stall of the GUI thread, and the descriptors and threads before and after. A timing
// program: it asserts nothing.
#include "BenchSupport.h"
#include "DewController.h"
#include "ErrorBox.h"
#include "ErrorReport.h"
#include "Focuser.h"
#include "HistoryChart.h"
#include "MainForm.h"
#include "PortList.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "Startup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

// One point per 2 s per series and 12 hours: the focuser chart of a tracked night.
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
// taking a 5 ms timer; Connect All's probing blocks it by design and is not counted.
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
    // Calls fn (a blocking Connect All) without counting its time as a stall.
    template <class F> void Excused(F fn) {
        fn();
        last_ = clock_.elapsed();
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
    watchdog.Run(200);
    const int fdsBefore = Count("/proc/self/fd");
    const int threadsBefore = Count("/proc/self/task");
    const double rssStart = RssMiB();
    std::printf("start: RSS %.1f MiB, %d descriptors, %d threads\n", rssStart, fdsBefore,
                threadsBefore);

    // Cables pulled and plugged back, Connect All / Disconnect All pressed a few times.
    for (int round = 1; round <= 3; ++round) {
        watchdog.Excused([&] { m->ButtonLoadDevicesClick(); });
        watchdog.Run(3000);
        d.focuser2->Unplug();
        d.dew->Unplug();
        watchdog.Run(2000);
        plugFocuser2AndDew();
        watchdog.Excused([&] { m->ButtonLoadDevicesClick(); }); // Disconnect All
        watchdog.Run(300);
        std::printf("round %d: RSS %.1f MiB, %d descriptors, %d threads, longest stall %lld ms\n",
                    round, RssMiB(), Count("/proc/self/fd"), Count("/proc/self/task"),
                    static_cast<long long>(watchdog.TakeLongest()));
    }

    // The night.
    watchdog.Excused([&] { m->ButtonLoadDevicesClick(); });
    QElapsedTimer night;
    night.start();
    double cpuMark = CpuSeconds();
    qint64 wallMark = 0;
    bool pulled = false;
    while (m->ChartQLO->PointCount(0) < kNightPoints) {
        watchdog.Run(10000);
        // The simulators record every command they receive; that is their memory, not ours.
        for (TSimDevice* sim :
             std::initializer_list<TSimDevice*>{d.focuser1.get(), d.focuser2.get(), d.dew.get()})
            sim->ClearReceived();
        if (!pulled && m->ChartQLO->PointCount(0) > kNightPoints / 2) {
            d.focuser2->Unplug(); // shown as lost; tracking goes on for the others
            pulled = true;
        }
        const double cpu = CpuSeconds();
        const qint64 wall = night.elapsed();
        std::printf("%5lld s: %7lld points, chart memory %.1f MiB, RSS %.1f MiB, CPU %.0f %%, "
                    "longest stall %lld ms\n",
                    static_cast<long long>(wall / 1000),
                    static_cast<long long>(m->ChartQLO->PointCount(0)),
                    double(m->ChartQLO->MemoryBytes() + m->ChartBRS->MemoryBytes()) / 1048576,
                    RssMiB(), 100 * (cpu - cpuMark) / (double(wall - wallMark) / 1000),
                    static_cast<long long>(watchdog.TakeLongest()));
        std::fflush(stdout);
        cpuMark = cpu;
        wallMark = wall;
    }
    const double rssNight = RssMiB();
    const double chartMiB =
        double(m->ChartQLO->MemoryBytes() + m->ChartBRS->MemoryBytes()) / 1048576;
    plugFocuser2AndDew(); // the same devices alive as at the start
    watchdog.Excused([&] { m->ButtonLoadDevicesClick(); }); // Disconnect All
    watchdog.Run(500);
    std::printf("night: %lld points in %.0f s; RSS %.1f MiB at the end of the night (charts "
                "%.1f MiB), %.1f MiB after Disconnect All\n",
                static_cast<long long>(m->ChartQLO->PointCount(0)), night.elapsed() / 1000.0,
                rssNight, chartMiB, RssMiB());
    std::printf("RSS growth beyond the charts: %.1f MiB\n", rssNight - rssStart - chartMiB);
    std::printf("descriptors %d -> %d, threads %d -> %d, longest GUI stall outside Connect All "
                "%lld ms, error reports %d\n",
                fdsBefore, Count("/proc/self/fd"), threadsBefore, Count("/proc/self/task"),
                static_cast<long long>(watchdog.Longest()), errorReports);
    DestroyForms();
    return 0;
}
