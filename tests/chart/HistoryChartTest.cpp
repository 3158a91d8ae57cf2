// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryChart.h"

#include "Failure.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTime>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

constexpr QRgb kBlue = 0xff0000ffu;
constexpr QRgb kGreen = 0xff008000u;
constexpr QRgb kRed = 0xffff0000u;
constexpr QRgb kBlack = 0xff000000u;

QImage Render(const THistoryChart& chart) {
    QImage image(chart.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    chart.PaintChart(painter);
    return image;
}

int RowOf(const THistoryChart& chart, double value) {
    const QRect plot = chart.PlotRect();
    return plot.top() + int(std::lround((THistoryChart::kMaximum - value) * (plot.height() - 1) /
                                        (THistoryChart::kMaximum - THistoryChart::kMinimum)));
}

int CountColour(const QImage& image, QRgb rgb) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == rgb;
    return n;
}

class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

} // namespace

TEST(HistoryChart, PointsKeepValueLabelAndColourInOrder) {
    THistoryChart chart(nullptr, 4);
    chart.AddPoint(2, 21.5, 605, kRed);
    chart.AddPoint(2, 50, 0, 0x008080); // outside the visible range: kept all the same
    chart.AddPoint(2, -44.9, 1439, kBlack);
    EXPECT_EQ(chart.PointCount(2), 3);
    EXPECT_EQ(chart.PointCount(0), 0);
    EXPECT_EQ(chart.PointValue(2, 0), 21.5);
    EXPECT_EQ(chart.PointValue(2, 1), 50);
    EXPECT_EQ(chart.PointLabel(2, 0), "10:05");
    EXPECT_EQ(chart.PointLabel(2, 1), "00:00");
    EXPECT_EQ(chart.PointLabel(2, 2), "23:59");
    EXPECT_EQ(chart.PointColor(2, 0), kRed);
    EXPECT_EQ(chart.PointColor(2, 1), 0xff008080u);
    EXPECT_EQ(THistoryChart::MinutesOfDay(QTime(21, 7, 59)), 21 * 60 + 7);
}

TEST(HistoryChart, ClearEmptiesOneSeriesOnly) {
    THistoryChart chart(nullptr, 2);
    for (int i = 0; i < 50; ++i) {
        chart.AddPoint(0, i, 0, kBlue);
        chart.AddPoint(1, i, 0, kGreen);
    }
    chart.Clear(0);
    EXPECT_EQ(chart.PointCount(0), 0);
    EXPECT_EQ(chart.PointCount(1), 50);
    chart.AddPoint(0, 7, 0, kBlue);
    EXPECT_EQ(chart.PointValue(0, 0), 7);
}

TEST(HistoryChart, BadIndexesRaiseFailure) {
    THistoryChart chart(nullptr, 2);
    EXPECT_THROW(chart.AddPoint(2, 1, 0, kBlue), Failure);
    EXPECT_THROW(chart.AddPoint(-1, 1, 0, kBlue), Failure);
    EXPECT_THROW(chart.Clear(5), Failure);
    EXPECT_THROW(chart.PointValue(0, 0), Failure);
}

TEST(HistoryChart, AppendingSchedulesOneRepaint) {
    THistoryChart chart(nullptr, 2);
    chart.resize(489, 207);
    chart.show();
    QApplication::processEvents();
    PaintCounter counter;
    chart.installEventFilter(&counter);
    for (int i = 0; i < 1000; ++i)
        chart.AddPoint(i % 2, i % 30, 0, kBlue);
    EXPECT_EQ(counter.paints, 0); // nothing painted on the spot
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 1); // a thousand appends, one repaint
}

TEST(HistoryChart, SegmentTakesTheColourOfItsEndPoint) {
    THistoryChart chart(nullptr, 1);
    chart.resize(200, 120);
    chart.AddPoint(0, 10, 0, kBlue);
    chart.AddPoint(0, 10, 0, kRed);
    chart.AddPoint(0, 30, 0, kGreen);
    const QImage image = Render(chart);
    const QRect plot = chart.PlotRect();
    const int midFirst = plot.left() + (plot.width() - 1) / 4;
    EXPECT_EQ(image.pixel(midFirst, RowOf(chart, 10)), kRed);
    EXPECT_EQ(CountColour(image, kBlue), 0); // the first point's colour never shows
    EXPECT_GT(CountColour(image, kGreen), 0);
}

TEST(HistoryChart, HistorySpansThePlotWidthAndTheFixedRange) {
    THistoryChart chart(nullptr, 1);
    chart.resize(300, 150);
    const QRect plot = chart.PlotRect();
    for (int i = 0; i < 3; ++i)
        chart.AddPoint(0, 35, 0, kRed);
    QImage image = Render(chart);
    EXPECT_EQ(image.pixel(plot.left(), plot.top()), kRed);
    EXPECT_EQ(image.pixel(plot.right(), plot.top()), kRed);

    chart.Clear(0);
    for (int i = 0; i < 1000; ++i)
        chart.AddPoint(0, -10, 0, kRed);
    image = Render(chart);
    EXPECT_EQ(image.pixel(plot.left(), plot.bottom()), kRed);
    EXPECT_EQ(image.pixel(plot.right(), plot.bottom()), kRed);
}

TEST(HistoryChart, ValuesOutsideTheRangeAreClipped) {
    THistoryChart chart(nullptr, 1);
    chart.resize(300, 150);
    const QImage empty = Render(chart);
    chart.AddPoint(0, 50, 0, kRed);
    chart.AddPoint(0, 60, 0, kRed);
    chart.AddPoint(0, -30, 0, kRed);
    chart.AddPoint(0, -40, 0, kRed);
    const QImage image = Render(chart);
    EXPECT_NE(image, empty); // the steep segment crosses the plot
    int outside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            outside += image.pixel(x, y) == kRed && !chart.PlotRect().contains(x, y);
    EXPECT_EQ(outside, 0);
}

// The per-column path must cover exactly the pixels of the point-by-point drawing.
TEST(HistoryChart, EnvelopeDrawsTheSamePictureAsEverySegment) {
    std::mt19937 random(11);
    std::normal_distribution<double> step(0, 1.5);
    for (const QSize size : {QSize(489, 207), QSize(120, 80)}) {
        for (const int count : {700, 5000, 70001}) {
            THistoryChart chart(nullptr, 3);
            chart.resize(size);
            double a = 12, b = 20;
            for (int i = 0; i < count; ++i) {
                a += step(random);
                b = 20 + 30 * std::sin(i * 0.01) + step(random); // leaves the range now and then
                chart.AddPoint(0, a, 0, kBlue);
                chart.AddPoint(1, b, 0, kGreen);
                if (i < count / 3) chart.AddPoint(2, std::round(b / 5) * 5, 0, kRed); // flat runs
            }
            const QImage envelope = Render(chart);
            chart.SetRendering(THistoryChart::Rendering::PointByPoint);
            const QImage everySegment = Render(chart);
            EXPECT_EQ(envelope, everySegment)
                << size.width() << "x" << size.height() << " " << count << " points";
            EXPECT_GT(CountColour(envelope, kGreen), 0);
        }
    }
}
