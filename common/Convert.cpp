// SPDX-License-Identifier: GPL-3.0-or-later
#include "Convert.h"

#include "Failure.h"

#include <QLocale>
#include <QRegularExpression>
#include <limits>

QChar DecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.at(0);
}

int StrToInt(const QString& text) {
    // \z, not $: a "$" would also take the text before a final line feed.
    static const QRegularExpression form(QStringLiteral("^ *[+-]?[0-9]+\\z"));
    bool ok = form.match(text).hasMatch();
    qlonglong value = 0;
    if (ok) value = text.trimmed().toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw Failure(QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(text));
    return static_cast<int>(value);
}

// The form of a real for one separator. Building and compiling the expression costs far more
// than matching it, so it is kept per thread until the separator changes.
static const QRegularExpression& RealForm(QChar separator) {
    thread_local QChar cached;
    thread_local QRegularExpression form;
    if (cached != separator) {
        // A device prints its numbers with a point whatever the desktop's language.
        const QString sep =
            QStringLiteral("(?:\\.|%1)").arg(QRegularExpression::escape(QString(separator)));
        form.setPattern(QStringLiteral("^ *[+-]?([0-9]+(%1[0-9]*)?|%1[0-9]+) *\\z").arg(sep));
        form.optimize();
        cached = separator;
    }
    return form;
}

double StrToFloat(const QString& text) {
    const QChar separator = DecimalSeparator();
    bool ok = RealForm(separator).match(text).hasMatch();
    double value = 0;
    if (ok) {
        QString plain = text.trimmed();
        plain.replace(separator, QChar('.'));
        value = plain.toDouble(&ok);
    }
    if (!ok)
        throw Failure(
            QStringLiteral("'%1' n'est pas une valeur en virgule flottante correcte").arg(text));
    return value;
}

static QString WithSeparator(QString text) {
    if (DecimalSeparator() != QChar('.')) text.replace(QChar('.'), DecimalSeparator());
    return text;
}

QString FloatToStr(double value) {
    return WithSeparator(QString::number(value, 'g', 15));
}

QString FloatToStr2(double value) {
    return WithSeparator(QString::number(value, 'f', 2));
}
