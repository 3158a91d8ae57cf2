// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChartCsv.h"

#include "HistoryChart.h"

#include <QLocale>
#include <gtest/gtest.h>

// One line per point, series after series; the value in its own series' column; a point as
// decimal separator even where the desktop writes a comma; texts quoted when they must be.
TEST(ChartCsv, EveryPointIsOneLineWithItsValueInItsSeriesColumn) {
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const THistoryChart::SeriesNames one{"QLO1 t°", "Quillo 1"}, two{"QLO2 t°", "Quillo 2"};
    const struct {
        const char* what;
        std::vector<THistoryChart::SeriesNames> names;
        std::vector<std::tuple<int, double, quint16>> points; // series, value, minutes
        const char* csv;
    } cases[] = {
        {"series after series, as the window shows them",
         {one, two},
         {{1, -3.25, 23 * 60 + 59}, {0, 0.1 + 0.2, 0}, {0, 20, 61}},
         "time,device,QLO1 t°,QLO2 t°\n00:00,Quillo 1,0.3,\n01:01,Quillo 1,20,\n"
         "23:59,Quillo 2,,-3.25\n"},
        {"quoted",
         {{"a,b", "the \"one\""}},
         {{0, -1, 5}},
         "time,device,\"a,b\"\n00:05,\"the \"\"one\"\"\",-1\n"},
    };
    for (const auto& c : cases) {
        THistoryChart chart(nullptr, int(c.names.size()));
        for (std::size_t s = 0; s < c.names.size(); ++s)
            chart.SetSeriesName(int(s), c.names[s]);
        for (const auto& [series, value, minutes] : c.points)
            chart.AddPoint(series, value, minutes, 0xff0000ffu);
        EXPECT_EQ(QString::fromUtf8(ChartCsv(chart)), QString::fromUtf8(c.csv)) << c.what;
    }
    QLocale::setDefault(QLocale::c());
}
