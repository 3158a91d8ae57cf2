// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChartCsv.h"

#include "HistoryChart.h"

#include <algorithm>

QString CsvNumber(double value) {
    return QString::number(value, 'g', 15); // never the regional separator
}

QByteArray CsvLine(const QStringList& fields) {
    QStringList quoted;
    for (QString field : fields) {
        const bool plain = std::none_of(field.begin(), field.end(), [](QChar c) {
            return c == QChar(',') || c == QChar('"') || c == QChar('\n') || c == QChar('\r');
        });
        if (!plain)
            field = QChar('"') + field.replace(QChar('"'), QStringLiteral("\"\"")) + QChar('"');
        quoted << field;
    }
    return quoted.join(QChar(',')).toUtf8() + '\n';
}

QByteArray ChartCsv(const THistoryChart& chart) {
    const int count = chart.SeriesCount();
    QStringList header{QStringLiteral("time"), QStringLiteral("device")};
    for (int s = 0; s < count; ++s)
        header << chart.SeriesName(s).column;
    QByteArray text = CsvLine(header);
    for (int s = 0; s < count; ++s) {
        for (qsizetype i = 0; i < chart.PointCount(s); ++i) {
            QStringList row{chart.PointLabel(s, i), chart.SeriesName(s).device};
            for (int column = 0; column < count; ++column)
                row << (column == s ? CsvNumber(chart.PointValue(s, i)) : QString());
            text += CsvLine(row);
        }
    }
    return text;
}
