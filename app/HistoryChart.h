// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A line chart for long temperature histories: series of points that each carry a value, a
// time label and their own colour, a fixed vertical range with a left axis, no legend and no
// horizontal axis; the horizontal axis counts points and always spans the whole history.
// Appending is O(1) and only schedules a repaint; a repaint costs O(width), not O(points):
// each pixel column is drawn from its first, last, lowest and highest point, which covers the
// same pixels as drawing every segment.
// Its context menu saves the chart as an image or its points as CSV text (ChartCsv.h).
#include "ChartSeries.h"

#include <QMargins>
#include <QPixmap>
#include <QRgb>
#include <QString>
#include <QWidget>
#include <vector>

class QTime;

class THistoryChart : public QWidget {
  public:
    // How the series are drawn: Envelope takes the per-column path once a series has more
    // points than the plot has columns; PointByPoint always draws every segment (reference).
    enum class Rendering { Envelope, PointByPoint };

    static constexpr double kMinimum = -10;
    static constexpr double kMaximum = 35;
    static constexpr double kTickStep = 5;

    explicit THistoryChart(QWidget* parent = nullptr, int seriesCount = 0);

    // Sets the number of series; all points are dropped.
    void SetSeriesCount(int count);
    // Red on black: the plot black, the grid and every series in reds.
    void SetNight(bool on);
    int SeriesCount() const { return int(series_.size()); }

    // How a series is named where its points leave the chart: its column in the saved readings
    // and the device its values come from. A series keeps its name through SetSeriesCount.
    struct SeriesNames {
        QString column;
        QString device;
    };
    void SetSeriesName(int series, SeriesNames names);
    const SeriesNames& SeriesName(int series) const;

    // Appends a point to a series. The horizontal value is the series' point count; the segment
    // that ends at the point takes its colour. Raises Failure for a series that does not exist.
    void AddPoint(int series, double value, quint16 labelMinutes, QRgb rgb);
    // Removes all points of a series.
    void Clear(int series);

    qsizetype PointCount(int series) const;
    double PointValue(int series, qsizetype index) const;
    quint16 PointLabelMinutes(int series, qsizetype index) const;
    QString PointLabel(int series, qsizetype index) const; // "hh:nn"
    QRgb PointColor(int series, qsizetype index) const;    // 0xffRRGGBB

    // Minutes of the day of a local time, and back to its "hh:nn" label.
    static quint16 MinutesOfDay(const QTime& time);
    static QString LabelText(quint16 minutes);

    // Bytes held by all points of all series, their envelope index included.
    std::size_t MemoryBytes() const;

    void SetRendering(Rendering rendering);
    Rendering GetRendering() const { return rendering_; }

    // Room around the plot area; the top leaves space for a header strip laid over the chart.
    void SetPlotMargins(const QMargins& margins);
    QRect PlotRect() const;

    // Paints the whole chart; paintEvent uses it.
    void PaintChart(QPainter& painter) const;

    // The chart as its window shows it, with whatever its window lays over it (the header strip
    // that serves as its legend).
    QPixmap Shot();
    // Writes the image (PNG) or the points (CSV) to path; a failure goes to the error report.
    enum class Saving { Image, Readings };
    void Save(Saving what, const QString& path);

  protected:
    void paintEvent(QPaintEvent* event) override;
    // "Save chart as PNG..." and "Save readings as CSV...", each asking for its file in a
    // window-modal dialog that returns at once.
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    const TChartSeries& SeriesAt(int series) const;
    const TChartSeries::Point& PointAt(int series, qsizetype index) const;
    void PaintSeries(QPainter& painter, const TChartSeries& series, const QRect& plot,
                     std::size_t axisCount) const;
    void PaintAxis(QPainter& painter, const QRect& plot) const;
    void AskFile(Saving what);

    QRgb Shown(QRgb rgb) const; // a series' colour as drawn, by day or at night
    bool night_ = false;
    std::vector<TChartSeries> series_;
    std::vector<SeriesNames> names_;
    Rendering rendering_ = Rendering::Envelope;
    QMargins margins_{0, 30, 10, 8}; // left margin follows the labels' width
};
