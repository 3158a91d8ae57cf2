// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Number conversions as the devices' texts and the displays need them. Reals use the decimal
// separator of the user's regional settings, in both directions, and never force "." or ",".
#include <QByteArray>
#include <QString>

// Decimal integer (optional leading blanks, optional sign, digits, 32-bit range).
// Raises Failure "'<text>' n'est pas une valeur entière correcte" otherwise.
int StrToInt(const QString& text);

// Decimal real with the regional separator or a point (optional sign, digits, optional
// fraction): the devices write a point whatever the desktop's language.
// Raises Failure "'<text>' n'est pas une valeur en virgule flottante correcte" otherwise.
double StrToFloat(const QString& text);

// Shortest general form, up to 15 significant digits, regional separator: 21.5, 20, -3.25.
QString FloatToStr(double value);

// Two decimals, regional separator ("%0.2f").
QString FloatToStr2(double value);

// The regional decimal separator.
QChar DecimalSeparator();

// Device texts are 8-bit: one byte is one character.
inline QString FromDevice(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}
inline QByteArray ToDevice(const QString& text) {
    return text.toLatin1();
}
