// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parameters of an Alpaca request: a query string (GET), whose names match in any case, or
// a form-encoded body (PUT), whose names match only as written, and the parsing of their
// values. Alpaca writes numbers with a
// point whatever the regional settings, so these parsers never use them.
#include <QAnyStringView>
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

class TFormFields {
  public:
    // "a=1&b=two+words&c=%41": names and values percent-decoded, '+' a blank, UTF-8.
    static TFormFields Parse(const QByteArray& encoded,
                             Qt::CaseSensitivity names = Qt::CaseInsensitive);

    // The value of the first field whose name equals name (in any case, unless parsed so).
    std::optional<QString> Value(QAnyStringView name) const;
    const QList<std::pair<QString, QString>>& All() const { return fields_; }

  private:
    QList<std::pair<QString, QString>> fields_;
    Qt::CaseSensitivity names_ = Qt::CaseInsensitive;
};

// "true" / "false" in any case.
std::optional<bool> ParseBool(const QString& text);
// Decimal, optional sign, in the 32-bit range; nothing else around it.
std::optional<qint32> ParseInt32(const QString& text);
// Decimal digits in the unsigned 32-bit range (transaction numbers, client ids).
std::optional<quint32> ParseUInt32(const QString& text);
// A finite real with a point ("70", "-3.25", "1e2").
std::optional<double> ParseDouble(const QString& text);
