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
    t.locTemp1 = TemperatureText(v.calT1 + v.locTemp1);
    t.locTemp2 = TemperatureText(v.calT2 + v.locTemp2);
    t.humidity = PercentText(FloatToStr(v.humidity));
    t.ambTemp = TemperatureText(v.calTA + v.ambTemp);
    t.dewpoint = FloatToStr2(v.dewpoint) + QStringLiteral(" °C");
    t.out1 = PercentText(QString::number(v.out1));
    t.out2 = PercentText(QString::number(v.out2));
    t.out3 = PercentText(QString::number(v.out3));
    return t;
}

int OutputSliderPosition(int power) {
    return std::clamp(power / 10, 0, 10);
}
