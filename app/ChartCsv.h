// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Readings as comma-separated text for spreadsheets and plotting tools: UTF-8, and the decimal
// separator is a point whatever the desktop's regional settings.
#include <QByteArray>
#include <QStringList>

class THistoryChart;

// A number as the window shows it, up to 15 significant digits, with a point: 21.5, -3.25, 20.
QString CsvNumber(double value);

// One line: the fields separated by commas, each quoted when it holds a comma, a quote or a line
// end; ends with "\n".
QByteArray CsvLine(const QStringList& fields);

// Every point the chart holds, after a header "time,device," and the series' columns: one line
// per point, series after series and each in its order, with the point's "hh:nn" label, its
// series' device, and its value in its own series' column (the others empty).
QByteArray ChartCsv(const THistoryChart& chart);
