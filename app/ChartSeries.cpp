// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChartSeries.h"

#include "Failure.h"

#include <limits>

void TChartSeries::Append(const Point& point) {
    if (points_.size() >= std::numeric_limits<std::uint32_t>::max())
        throw Failure(QStringLiteral("Too many points in a chart series"));
    points_.push_back(point);
    // Each completed group adds one entry above it; the work per point stays constant on average.
    std::size_t below = points_.size();
    for (std::size_t level = 0; below % kFanOut == 0; ++level) {
        if (levels_.size() == level) levels_.emplace_back();
        levels_[level].push_back(Summarise(level, below - kFanOut));
        below = levels_[level].size();
    }
}

void TChartSeries::Clear() {
    points_ = {};
    levels_ = {};
}

TChartSeries::Extremes TChartSeries::Summarise(std::size_t level, std::size_t first) const {
    Extremes acc{};
    bool any = false;
    for (std::size_t i = first; i < first + kFanOut; ++i)
        Take(level, i, acc, any);
    return acc;
}

// Folds entry `index` of `level` (0: the points, k: levels_[k - 1]) into acc. Ties keep the
// earlier point, whatever the order of folding.
void TChartSeries::Take(std::size_t level, std::size_t index, Extremes& acc, bool& any) const {
    Extremes e;
    if (level == 0) {
        const double v = points_[index].value;
        e = {v, v, std::uint32_t(index), std::uint32_t(index)};
    } else {
        e = levels_[level - 1][index];
    }
    if (!any) {
        acc = e;
        any = true;
        return;
    }
    if (e.minValue < acc.minValue || (e.minValue == acc.minValue && e.min < acc.min)) {
        acc.minValue = e.minValue;
        acc.min = e.min;
    }
    if (e.maxValue > acc.maxValue || (e.maxValue == acc.maxValue && e.max < acc.max)) {
        acc.maxValue = e.maxValue;
        acc.max = e.max;
    }
}

TChartSeries::Extremes TChartSeries::Range(std::size_t first, std::size_t last) const {
    Extremes acc{};
    bool any = false;
    std::size_t end = last + 1;
    for (std::size_t level = 0; first < end; ++level) {
        if (level == levels_.size()) {
            while (first < end)
                Take(level, first++, acc, any);
            break;
        }
        // Take the ragged ends here, then climb with the whole groups between them.
        while (first < end && first % kFanOut != 0)
            Take(level, first++, acc, any);
        while (first < end && end % kFanOut != 0)
            Take(level, --end, acc, any);
        first /= kFanOut;
        end /= kFanOut;
    }
    return acc;
}

std::size_t TChartSeries::MemoryBytes() const {
    std::size_t bytes = points_.size() * sizeof(Point);
    for (const auto& level : levels_)
        bytes += level.capacity() * sizeof(Extremes);
    return bytes;
}
