// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One history series: its points in a compact form and a min/max pyramid over them, so that the
// extremes of any index range cost O(log n) and a repaint never walks the whole history.
#include <QRgb>
#include <cstdint>
#include <deque>
#include <vector>

class TChartSeries {
  public:
    struct Point {
        double value;
        QRgb rgb;
        quint16 minutes; // label "hh:nn" as minutes of the day
    };
    // The first smallest and the first largest value of a range, with their indexes. The
    // values are kept here so that a query stays within the pyramid's memory.
    struct Extremes {
        double minValue;
        double maxValue;
        std::uint32_t min;
        std::uint32_t max;
    };

    // O(1) amortised. Raises Failure when the series cannot index another point.
    void Append(const Point& point);
    void Clear();

    std::size_t Count() const { return points_.size(); }
    const Point& At(std::size_t index) const { return points_[index]; }

    // Extremes of the points first..last (inclusive, first <= last < Count()).
    Extremes Range(std::size_t first, std::size_t last) const;

    // Bytes held for the points and the pyramid.
    std::size_t MemoryBytes() const;

    // Points per node of the pyramid.
    static constexpr std::size_t kFanOut = 16;

  private:
    void Take(std::size_t level, std::size_t index, Extremes& acc, bool& any) const;
    Extremes Summarise(std::size_t level, std::size_t first) const;

    std::deque<Point> points_;
    // levels_[k] summarises complete groups of kFanOut entries of the level below (the points
    // for k == 0); a trailing incomplete group is read from the level below.
    std::vector<std::vector<Extremes>> levels_;
};
