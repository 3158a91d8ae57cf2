// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryChart.h"

#include "ChartCsv.h"
#include "ErrorReport.h"
#include "Failure.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QDate>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QTime>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kTickLength = 4;
constexpr int kLabelGap = 3;

// Pixel geometry of one repaint: the plot's columns count points, its rows degrees.
struct Mapping {
    QRect plot;
    std::int64_t axisLast; // index of the last point on the horizontal axis (0 or more)

    int Column(std::int64_t index) const {
        if (axisLast <= 0) return 0;
        const std::int64_t span = plot.width() - 1;
        return int((2 * index * span + axisLast) / (2 * axisLast)); // rounded to nearest
    }
    // The first index that lands in column c or to its right.
    std::int64_t FirstIndex(int c) const {
        if (c <= 0) return 0;
        const std::int64_t span = plot.width() - 1;
        const std::int64_t num = (2 * std::int64_t(c) - 1) * axisLast;
        return (num + 2 * span - 1) / (2 * span);
    }
    int Row(double value) const {
        double y = (THistoryChart::kMaximum - value) * (plot.height() - 1) /
                   (THistoryChart::kMaximum - THistoryChart::kMinimum);
        // Far-off values are drawn clipped; keep their coordinates in the painter's range.
        constexpr double kFar = 100000;
        if (!(y > -kFar)) y = -kFar;
        if (!(y < kFar)) y = kFar;
        return plot.top() + int(std::lround(y));
    }
    QPoint At(const TChartSeries& s, std::int64_t index) const {
        return {plot.left() + Column(index), Row(s.At(std::size_t(index)).value)};
    }
};

// Collects consecutive segments of one colour and draws them in one call, in order.
class SegmentBatch {
  public:
    explicit SegmentBatch(QPainter& painter) : painter_(painter) {}
    ~SegmentBatch() { Flush(); }
    void Add(QPoint from, QPoint to, QRgb rgb) {
        if (rgb != rgb_) Flush();
        rgb_ = rgb;
        lines_.append(QLine(from, to));
    }

  private:
    void Flush() {
        if (lines_.isEmpty()) return;
        painter_.setPen(QPen(QColor::fromRgb(rgb_), 0));
        painter_.drawLines(lines_);
        lines_.clear();
    }
    QPainter& painter_;
    QList<QLine> lines_;
    QRgb rgb_ = 0;
};

} // namespace

THistoryChart::THistoryChart(QWidget* parent, int seriesCount) : QWidget(parent) {
    SetSeriesCount(seriesCount);
}

void THistoryChart::SetSeriesCount(int count) {
    series_.clear();
    series_.resize(std::size_t(std::max(count, 0)));
    names_.resize(series_.size());
    update();
}

void THistoryChart::SetSeriesName(int series, SeriesNames names) {
    SeriesAt(series);
    names_[std::size_t(series)] = std::move(names);
}

const THistoryChart::SeriesNames& THistoryChart::SeriesName(int series) const {
    SeriesAt(series);
    return names_[std::size_t(series)];
}

const TChartSeries& THistoryChart::SeriesAt(int series) const {
    if (series < 0 || series >= SeriesCount())
        throw Failure(QStringLiteral("List index out of bounds (%1)").arg(series));
    return series_[std::size_t(series)];
}

const TChartSeries::Point& THistoryChart::PointAt(int series, qsizetype index) const {
    const TChartSeries& s = SeriesAt(series);
    if (index < 0 || std::size_t(index) >= s.Count())
        throw Failure(QStringLiteral("List index out of bounds (%1)").arg(index));
    return s.At(std::size_t(index));
}

void THistoryChart::AddPoint(int series, double value, quint16 labelMinutes, QRgb rgb) {
    SeriesAt(series); // checks the index
    series_[std::size_t(series)].Append({value, rgb | 0xff000000u, labelMinutes});
    update(); // coalesced by Qt into one repaint
}

void THistoryChart::Clear(int series) {
    SeriesAt(series);
    series_[std::size_t(series)].Clear();
    update();
}

qsizetype THistoryChart::PointCount(int series) const {
    return qsizetype(SeriesAt(series).Count());
}

double THistoryChart::PointValue(int series, qsizetype index) const {
    return PointAt(series, index).value;
}

quint16 THistoryChart::PointLabelMinutes(int series, qsizetype index) const {
    return PointAt(series, index).minutes;
}

QString THistoryChart::PointLabel(int series, qsizetype index) const {
    return LabelText(PointLabelMinutes(series, index));
}

QRgb THistoryChart::PointColor(int series, qsizetype index) const {
    return PointAt(series, index).rgb;
}

quint16 THistoryChart::MinutesOfDay(const QTime& time) {
    return quint16(time.hour() * 60 + time.minute());
}

QString THistoryChart::LabelText(quint16 minutes) {
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

std::size_t THistoryChart::MemoryBytes() const {
    std::size_t bytes = 0;
    for (const auto& s : series_)
        bytes += s.MemoryBytes();
    return bytes;
}

void THistoryChart::SetRendering(Rendering rendering) {
    rendering_ = rendering;
    update();
}

void THistoryChart::SetPlotMargins(const QMargins& margins) {
    margins_ = margins;
    update();
}

QRect THistoryChart::PlotRect() const {
    const int labels = fontMetrics().horizontalAdvance(QStringLiteral("-10"));
    const int left = margins_.left() + labels + kLabelGap + kTickLength + 1;
    return QRect(QPoint(left, margins_.top()),
                 QPoint(width() - 1 - margins_.right(), height() - 1 - margins_.bottom()));
}

void THistoryChart::SetNight(bool on) {
    night_ = on;
    update();
}

QRgb THistoryChart::Shown(QRgb rgb) const {
    if (!night_) return rgb;
    // The darker a colour is on white, the brighter its red on black; green a quarter of it.
    const int red = 110 + (255 - qGray(rgb)) * 145 / 255;
    return qRgb(red, red / 4, 0);
}

void THistoryChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintChart(painter);
}

void THistoryChart::PaintChart(QPainter& painter) const {
    painter.fillRect(rect(), palette().window());
    const QRect plot = PlotRect();
    if (plot.width() < 2 || plot.height() < 2) return;
    painter.fillRect(plot, night_ ? Qt::black : Qt::white);

    // Grid under the series.
    const Mapping scale{plot, 0};
    painter.setPen(QPen(night_ ? QColor(0x60, 0, 0) : QColor(0xC0, 0xC0, 0xC0), 0, Qt::DotLine));
    for (double v = kMinimum; v <= kMaximum; v += kTickStep) {
        const int y = scale.Row(v);
        painter.drawLine(plot.left(), y, plot.right(), y);
    }

    std::size_t axisCount = 0;
    for (const auto& s : series_)
        axisCount = std::max(axisCount, s.Count());
    painter.save();
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& s : series_)
        PaintSeries(painter, s, plot, axisCount);
    painter.restore();

    PaintAxis(painter, plot);
}

void THistoryChart::PaintSeries(QPainter& painter, const TChartSeries& s, const QRect& plot,
                                std::size_t axisCount) const {
    const std::int64_t n = std::int64_t(s.Count());
    if (n < 2) return; // a line needs two points; markers are not drawn
    const Mapping map{plot, std::int64_t(axisCount) - 1};
    SegmentBatch batch(painter);

    if (rendering_ == Rendering::PointByPoint || n <= plot.width()) {
        QPoint prev = map.At(s, 0);
        for (std::int64_t i = 1; i < n; ++i) {
            const QPoint p = map.At(s, i);
            batch.Add(prev, p, Shown(s.At(std::size_t(i)).rgb));
            prev = p;
        }
        return;
    }

    // In one column every segment is vertical, so the path through the column's first, lowest,
    // highest and last points (in their order) covers the pixels that all its segments cover.
    QPoint prev;
    bool started = false;
    const int lastColumn = map.Column(n - 1);
    for (int c = 0; c <= lastColumn; ++c) {
        const std::int64_t first = map.FirstIndex(c);
        const std::int64_t last = std::min(map.FirstIndex(c + 1), n) - 1;
        if (first > last) continue;
        const TChartSeries::Extremes e = s.Range(std::size_t(first), std::size_t(last));
        std::int64_t kept[4] = {first, e.min, e.max, last};
        std::sort(kept, kept + 4);
        for (int k = 0; k < 4; ++k) {
            if (k > 0 && kept[k] == kept[k - 1]) continue;
            const QPoint p = map.At(s, kept[k]);
            if (started) batch.Add(prev, p, Shown(s.At(std::size_t(kept[k])).rgb));
            prev = p;
            started = true;
        }
    }
}

void THistoryChart::PaintAxis(QPainter& painter, const QRect& plot) const {
    const Mapping scale{plot, 0};
    const int axisX = plot.left() - 1;
    painter.setPen(QPen(palette().windowText().color(), 0));
    painter.drawLine(axisX, plot.top(), axisX, plot.bottom());
    const QFontMetrics metrics = fontMetrics();
    for (double v = kMinimum; v <= kMaximum; v += kTickStep) {
        const int y = scale.Row(v);
        painter.drawLine(axisX - kTickLength, y, axisX, y);
        const QString text = QString::number(v);
        const int right = axisX - kTickLength - kLabelGap;
        const QRect box(right - metrics.horizontalAdvance(text), y - metrics.height() / 2,
                        metrics.horizontalAdvance(text), metrics.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, text);
    }
}

QPixmap THistoryChart::Shot() {
    if (QWidget* window = parentWidget()) return window->grab(geometry());
    return grab();
}

void THistoryChart::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Save chart as PNG..."), this,
                    GuardedSlot([this] { AskFile(Saving::Image); }));
    menu->addAction(QStringLiteral("Save readings as CSV..."), this,
                    GuardedSlot([this] { AskFile(Saving::Readings); }));
    menu->popup(event->globalPos()); // not exec(): no event loop of its own
}

void THistoryChart::AskFile(Saving what) {
    const bool image = what == Saving::Image;
    const QString suffix = image ? QStringLiteral("png") : QStringLiteral("csv");
    auto* dialog = new QFileDialog(
        this, image ? QStringLiteral("Save chart as PNG") : QStringLiteral("Save readings as CSV"),
        QString(),
        image ? QStringLiteral("PNG images (*.png)") : QStringLiteral("CSV files (*.csv)"));
    dialog->setObjectName(QStringLiteral("SaveChartDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(suffix);
    dialog->selectFile(objectName() + QChar(' ') + QDate::currentDate().toString(Qt::ISODate) +
                       QChar('.') + suffix);
    // What is saved is taken when the file has been chosen: the points up to that moment.
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, what](const QString& path) { Guarded([&] { Save(what, path); }); });
    dialog->open();
}

void THistoryChart::Save(Saving what, const QString& path) {
    QByteArray bytes;
    if (what == Saving::Image) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        Shot().save(&buffer, "PNG");
    } else {
        bytes = ChartCsv(*this);
    }
    // Written aside and renamed at the end: a failed save leaves an older file whole.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return;
    ReportError(
        QStringLiteral("Could not save the %1 to %2: %3")
            .arg(what == Saving::Image ? QStringLiteral("chart") : QStringLiteral("readings"), path,
                 file.errorString()));
}
