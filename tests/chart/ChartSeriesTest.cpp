// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChartSeries.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TChartSeries::Extremes BruteForce(const TChartSeries& s, std::size_t first, std::size_t last) {
    TChartSeries::Extremes e{};
    e.min = e.max = std::uint32_t(first);
    for (std::size_t i = first; i <= last; ++i) {
        if (s.At(i).value < s.At(e.min).value) e.min = std::uint32_t(i);
        if (s.At(i).value > s.At(e.max).value) e.max = std::uint32_t(i);
    }
    return e;
}

} // namespace

// The pyramid must give the same first extremes as a scan, for ranges on and off its groups,
// on every level (16^3 < 6000) and with many equal values.
TEST(ChartSeries, RangeExtremesMatchAScan) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-20, 20);
    TChartSeries s;
    for (int i = 0; i < 6000; ++i)
        s.Append({double(value(random)) / 2, 0xff0000ffu, 0});

    std::uniform_int_distribution<std::size_t> index(0, s.Count() - 1);
    for (int k = 0; k < 3000; ++k) {
        std::size_t a = index(random), b = index(random);
        if (k % 3 == 0) b = std::min(s.Count() - 1, a + k % 40); // short ranges too
        if (a > b) std::swap(a, b);
        const auto got = s.Range(a, b);
        const auto want = BruteForce(s, a, b);
        ASSERT_EQ(got.min, want.min) << a << ".." << b;
        ASSERT_EQ(got.max, want.max) << a << ".." << b;
    }
    const auto all = s.Range(0, s.Count() - 1);
    EXPECT_EQ(all.min, BruteForce(s, 0, s.Count() - 1).min);
}

TEST(ChartSeries, ClearStartsAfresh) {
    TChartSeries s;
    for (int i = 0; i < 100; ++i)
        s.Append({double(i), 0, 0});
    s.Clear();
    EXPECT_EQ(s.Count(), 0u);
    EXPECT_EQ(s.MemoryBytes(), 0u);
    for (int i = 0; i < 40; ++i)
        s.Append({double(-i), 0, 0});
    EXPECT_EQ(s.Range(0, 39).min, 39u);
    EXPECT_EQ(s.Range(0, 39).max, 0u);
}

TEST(ChartSeries, APointTakesAtMost24Bytes) {
    TChartSeries s;
    for (int i = 0; i < 100000; ++i)
        s.Append({i * 0.001, 0xff008000u, quint16(i % 1440)});
    EXPECT_LE(double(s.MemoryBytes()) / double(s.Count()), 24.0);
}
