// SPDX-License-Identifier: GPL-3.0-or-later
// One telemetry cycle through the real main window with night-long charts: a reply is read
// from its link, parsed, shown (setValues), charted (updateGraphic), and both charts are
// repainted. The links are pseudo-terminals whose far end this program writes the replies to.
#include "ComPort.h"
#include "DewController.h"
#include "ErrorBox.h"
#include "Focuser.h"
#include "HistoryChart.h"
#include "MainForm.h"
#include "Startup.h"

#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The far end of a link: the benchmark writes replies at the master and waits on its own slave
// descriptor until they can be read, so that the timed part never waits for the line.
class Line {
  public:
    Line() {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) std::perror("openpty");
        path_ = QString::fromLocal8Bit(name);
    }
    ~Line() {
        ::close(master_);
        ::close(slave_);
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    void Attach(TComPort* link) const {
        link->SetPort(path_);
        link->Open();
        link->OnRxChar = {}; // the benchmark runs the receive handler itself
    }
    // Writes bytes and returns once they are waiting on the link.
    void Deliver(const QByteArray& bytes) const {
        if (::write(master_, bytes.constData(), bytes.size()) != bytes.size()) std::perror("write");
        pollfd p{slave_, POLLIN, 0};
        ::poll(&p, 1, 1000);
    }
    // Throws away what the program wrote to the device.
    void Drain() const {
        char buffer[256];
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) &&
               ::read(master_, buffer, sizeof buffer) > 0) {
        }
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

struct Night {
    Line focuser1, focuser2, dew;
    qint64 prefilled = -1;
};
Night* night = nullptr;

// Fills the six series with `total` points between them, as a night of tracking leaves them.
void Prefill(qint64 total) {
    if (night->prefilled == total) return;
    THistoryChart* charts[] = {FormMain->ChartQLO, FormMain->ChartBRS};
    for (THistoryChart* chart : charts)
        for (int s = 0; s < chart->SeriesCount(); ++s)
            chart->Clear(s);
    for (qint64 i = 0; i < total; ++i) {
        const int k = int(i % 6);
        THistoryChart* chart = k < 2 ? charts[0] : charts[1];
        const int series = k < 2 ? k : k - 2;
        const double step = double(i / 6);
        chart->AddPoint(series, 12 + 8 * std::sin(step * 1e-4 + k) + 0.3 * std::sin(step * 0.7),
                        quint16(int(step / 60) % 1440), 0xff0000ffu);
    }
    night->prefilled = total;
}

void RepaintCharts() {
    for (THistoryChart* chart : {FormMain->ChartQLO, FormMain->ChartBRS}) {
        QImage image(chart->size(), QImage::Format_ARGB32_Premultiplied);
        chart->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void Report(benchmark::State& state) {
    qint64 points = 0;
    for (int s = 0; s < 2; ++s)
        points += FormMain->ChartQLO->PointCount(s);
    for (int s = 0; s < 4; ++s)
        points += FormMain->ChartBRS->PointCount(s);
    state.counters["points"] = double(points);
}

// A focuser reply (position and temperature alternately) through QLOcharsReceived.
void FocuserCycle(benchmark::State& state, bool repaint) {
    Prefill(state.range(0));
    const QByteArray replies[] = {"P=01234\n", "T=21.5\n"};
    int k = 0;
    for (auto _ : state) {
        state.PauseTiming();
        night->focuser1.Deliver(replies[k]);
        k ^= 1;
        state.ResumeTiming();
        FormMain->QLOcharsReceived();
        if (repaint) RepaintCharts();
    }
    Report(state);
}

// Argument: points held by the six series before the cycles (0: a fresh connection).
void BM_FocuserCycle(benchmark::State& state) {
    FocuserCycle(state, true);
}
BENCHMARK(BM_FocuserCycle)->Arg(0)->Arg(650000)->Unit(benchmark::kMillisecond);

// The same without the repaint: receive, parse, display and chart points only.
void BM_FocuserCycleNoRepaint(benchmark::State& state) {
    FocuserCycle(state, false);
}
BENCHMARK(BM_FocuserCycleNoRepaint)->Arg(650000)->Unit(benchmark::kMillisecond);

// A dew controller frame through BRScharsReceived (automatic mode; the sliders stay put).
void BM_DewCycle(benchmark::State& state) {
    Prefill(state.range(0));
    const QByteArray frame = "##21.5/20.75/18.0/65.2/11.43/40/40/40/1/2/0/3/3/1/1/2**";
    for (auto _ : state) {
        state.PauseTiming();
        night->dew.Deliver(frame);
        state.ResumeTiming();
        FormMain->BRScharsReceived();
        RepaintCharts();
    }
    night->dew.Drain();
    Report(state);
}
BENCHMARK(BM_DewCycle)->Arg(0)->Arg(650000)->Unit(benchmark::kMillisecond);

// The repaint alone, for comparison.
void BM_RepaintBothCharts(benchmark::State& state) {
    Prefill(state.range(0));
    for (auto _ : state)
        RepaintCharts();
    Report(state);
}
BENCHMARK(BM_RepaintBothCharts)->Arg(650000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C.UTF-8"); // the replies use "."
    TSkyvarnApplication app(argc, argv);
    CreateForms(false);
    night = new Night;
    // All three links open, so that every refresh adds to all six series.
    night->focuser1.Attach(&FormMain->QLO->Link());
    night->focuser2.Attach(&FormMain->QLO2->Link());
    night->dew.Attach(&FormMain->BRS->Link());
    FormMain->QLO2->Temp = 11.5;
    // The debug log at its cap, as after a night of polling.
    QStringList lines;
    for (int i = 0; i < kDebugLogMaxLines; ++i)
        lines << QStringLiteral("01:23:45 QLO Tx: FPOSRO %1").arg(i);
    FormMain->memoDebugLogs->setPlainText(lines.join(QChar('\n')));

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    DestroyForms();
    delete night;
    return 0;
}
