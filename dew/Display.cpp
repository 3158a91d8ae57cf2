// SPDX-License-Identifier: GPL-3.0-or-later
#include "Display.h"

#include "Convert.h"

#include <algorithm>

QString TemperatureText(double celsius) {
    return FloatToStr(celsius) + QStringLiteral(" °C");
}

static QString PercentText(const QString& number) {
    return number + QStringLiteral(" %");
}

DewTexts DewDisplayTexts(const DewValues& v) {
    DewTexts t;
    t.locTemp1 = TemperatureText(v.CalT1 + v.LocTemp1);
    t.locTemp2 = TemperatureText(v.CalT2 + v.LocTemp2);
    t.humidity = PercentText(FloatToStr(v.Humidity));
    t.ambTemp = TemperatureText(v.CalTA + v.AmbTemp);
    t.dewpoint = FloatToStr2(v.Dewpoint) + QStringLiteral(" °C");
    t.out1 = PercentText(QString::number(v.Out1));
    t.out2 = PercentText(QString::number(v.Out2));
    t.out3 = PercentText(QString::number(v.Out3));
    return t;
}

int OutputSliderPosition(int power) {
    return std::clamp(power / 10, 0, 10);
}
