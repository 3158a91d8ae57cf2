// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormFields.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

QString Decode(QByteArray part) {
    part.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
}

// Optional sign, then at least one digit and nothing else; the magnitude saturates at a value
// past every 32-bit one, so that long texts cannot overflow.
std::optional<qint64> ParseDecimal(const QString& text, bool signAllowed) {
    qsizetype at = 0;
    bool negative = false;
    if (signAllowed && !text.isEmpty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        at = 1;
    }
    if (at >= text.size()) return std::nullopt;
    qint64 value = 0;
    for (; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min<qint64>(value * 10 + (c.unicode() - '0'), qint64(1) << 40);
    }
    return negative ? -value : value;
}

} // namespace

TFormFields TFormFields::Parse(const QByteArray& encoded, Qt::CaseSensitivity names) {
    TFormFields form;
    form.names_ = names;
    for (const QByteArray& pair : encoded.split('&')) {
        if (pair.isEmpty()) continue;
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            form.fields_.append({Decode(pair), QString()});
        else
            form.fields_.append({Decode(pair.left(equals)), Decode(pair.mid(equals + 1))});
    }
    return form;
}

std::optional<QString> TFormFields::Value(QAnyStringView name) const {
    for (const auto& [fieldName, value] : fields_)
        if (QAnyStringView::compare(name, fieldName, names_) == 0) return value;
    return std::nullopt;
}

std::optional<bool> ParseBool(const QString& text) {
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

std::optional<qint32> ParseInt32(const QString& text) {
    const std::optional<qint64> value = ParseDecimal(text, true);
    if (!value || *value < std::numeric_limits<qint32>::min() ||
        *value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(*value);
}

std::optional<quint32> ParseUInt32(const QString& text) {
    const std::optional<qint64> value = ParseDecimal(text, false);
    if (!value || *value > std::numeric_limits<quint32>::max()) return std::nullopt;
    return quint32(*value);
}

std::optional<double> ParseDouble(const QString& text) {
    bool ok = false;
    const QLocale c = QLocale::c();
    const double value = c.toDouble(text, &ok);
    // The C locale takes group separators ("1,000"); Alpaca numbers have none.
    if (!ok || !std::isfinite(value) || text.contains(QChar(','))) return std::nullopt;
    return value;
}
