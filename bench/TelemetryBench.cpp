// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the telemetry path and the history charts: paint time and memory per point at
// night-long sizes, and the cost of one focuser reply and one dew controller frame.
#include "Frame.h"
#include "HistoryChart.h"
#include "Telemetry.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>
#include <malloc.h>
#include <memory>

namespace {

constexpr int kSeries = 4; // ChartBRS, the larger of the two charts
const QSize kChartSize(489, 207);

struct FullChart {
    std::unique_ptr<THistoryChart> chart;
    qint64 points = 0;
    double heapBytesPerPoint = 0;
};

// One chart per size, kept while the size's benchmarks run.
FullChart& ChartWith(qint64 perSeries) {
    static FullChart cached;
    if (cached.chart && cached.points == perSeries) return cached;
    cached.chart.reset();
    const std::size_t before = mallinfo2().uordblks;
    auto chart = std::make_unique<THistoryChart>(nullptr, kSeries);
    chart->resize(kChartSize);
    const QRgb colours[kSeries] = {0xff008080u, 0xff008000u, 0xffff0000u, 0xff000000u};
    for (qint64 i = 0; i < perSeries; ++i)
        for (int s = 0; s < kSeries; ++s)
            chart->AddPoint(s, 12 + 8 * std::sin(i * 1e-4 + s) + 0.3 * std::sin(i * 0.7), 0,
                            colours[s]);
    const std::size_t after = mallinfo2().uordblks;
    cached.heapBytesPerPoint = double(after - before) / double(perSeries * kSeries);
    cached.chart = std::move(chart);
    cached.points = perSeries;
    return cached;
}

void Paint(benchmark::State& state, THistoryChart::Rendering rendering) {
    FullChart& full = ChartWith(state.range(0));
    full.chart->SetRendering(rendering);
    QImage image(kChartSize, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        full.chart->PaintChart(painter);
    }
    const double points = double(full.points) * kSeries;
    state.counters["points"] = points;
    state.counters["bytes/point"] = double(full.chart->MemoryBytes()) / points;
    state.counters["heap/point"] = full.heapBytesPerPoint;
    full.chart->SetRendering(THistoryChart::Rendering::Envelope);
}

void BM_ChartPaint(benchmark::State& state) {
    Paint(state, THistoryChart::Rendering::Envelope);
}
BENCHMARK(BM_ChartPaint)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(650000)
    ->Arg(2000000)
    ->Unit(benchmark::kMillisecond);

// For comparison: drawing every segment, as a chart control does.
void BM_ChartPaintEverySegment(benchmark::State& state) {
    Paint(state, THistoryChart::Rendering::PointByPoint);
}
BENCHMARK(BM_ChartPaintEverySegment)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ChartAddPoint(benchmark::State& state) {
    THistoryChart chart(nullptr, 1);
    double v = 0;
    for (auto _ : state) {
        chart.AddPoint(0, v, 0, 0xff0000ffu);
        v = v > 30 ? -5 : v + 0.01;
    }
}
BENCHMARK(BM_ChartAddPoint);

void BM_FocuserReceive(benchmark::State& state) {
    const LogSink log = [](const QString& line) { benchmark::DoNotOptimize(line.size()); };
    FocuserRx rx;
    const QByteArray replies[] = {"P=01234\n", "T=21.5\n"};
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReceiveFocuserChunk(rx, replies[k], QStringLiteral("QLO"), log));
        k ^= 1;
    }
}
BENCHMARK(BM_FocuserReceive);

void BM_DewFrameParse(benchmark::State& state) {
    const LogSink log = [](const QString& line) { benchmark::DoNotOptimize(line.size()); };
    const QByteArray frame = "##21.5/20.75/18.0/65.2/11.43/40/40/40/1/2/0/3/3/1/1/2**";
    QByteArray buffer;
    DewValues values;
    for (auto _ : state)
        benchmark::DoNotOptimize(ReceiveDewChunk(buffer, frame, values, log));
}
BENCHMARK(BM_DewFrameParse);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C.UTF-8"); // frames use "." here
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
