// SPDX-License-Identifier: GPL-3.0-or-later
#include "Weather.h"

#include "DeviceModel.h"

namespace indi {

namespace {

const QString kParameters = QStringLiteral("Parameters");

const char* const kLabels[kWeatherCount] = {"Temperature (C)", "Humidity %", "Dew Point (C)",
                                            "Dew Point Margin (C)"};

} // namespace

QString WeatherName(Weather w) {
    static const char* const names[kWeatherCount] = {"WEATHER_TEMPERATURE", "WEATHER_HUMIDITY",
                                                     "WEATHER_DEWPOINT", "WEATHER_DEW_MARGIN"};
    return QLatin1String(names[int(w)]);
}

State Judge(const WeatherRange& range, double value) {
    if (value < range.minOk || value > range.maxOk) return State::Alert;
    const double band = (range.maxOk - range.minOk) * range.percWarn / 100;
    if ((range.minOk != 0 && value < range.minOk + band) ||
        (range.maxOk != 0 && value > range.maxOk - band))
        return State::Busy;
    return State::Ok;
}

QList<Vector> WeatherVectors(const QString& device, const WeatherSettings& settings) {
    Vector status{Kind::Light, device,      kWeatherStatus, QStringLiteral("Status"),
                  kParameters, State::Idle, Perm::ReadOnly, Rule::OneOfMany,
                  0,           {}};
    for (int i = 0; i < kWeatherCount; ++i) {
        Element light;
        light.name = WeatherName(Weather(i));
        light.label = QLatin1String(kLabels[i]);
        status.elements << light;
    }
    QList<Vector> vectors{
        status,
        Vector{Kind::Number,
               device,
               kWeatherUpdate,
               QStringLiteral("Update"),
               kMainControl,
               State::Idle,
               Perm::ReadWrite,
               Rule::OneOfMany,
               60,
               {NumberElement(QStringLiteral("PERIOD"), QStringLiteral("Period (secs)"),
                              QStringLiteral("%4.2f"), 0, 3600, 60, settings.periodSeconds)}},
        Vector{Kind::Switch,
               device,
               kWeatherRefresh,
               QStringLiteral("Weather"),
               kMainControl,
               State::Idle,
               Perm::ReadWrite,
               Rule::AtMostOne,
               60,
               {Element{QStringLiteral("REFRESH"), QStringLiteral("Refresh")}}},
    };
    for (int i = 0; i < kWeatherCount; ++i) {
        const WeatherRange& r = settings.ranges[size_t(i)];
        vectors << Vector{
            Kind::Number,
            device,
            WeatherName(Weather(i)),
            QLatin1String(kLabels[i]),
            kParameters,
            State::Ok, // the client's to set: good as they are
            Perm::ReadWrite,
            Rule::OneOfMany,
            60,
            {NumberElement(QStringLiteral("MIN_OK"), QStringLiteral("OK range min"),
                           QStringLiteral("%4.2f"), -100, 100, 1, r.minOk),
             NumberElement(QStringLiteral("MAX_OK"), QStringLiteral("OK range max"),
                           QStringLiteral("%4.2f"), -100, 100, 1, r.maxOk),
             NumberElement(QStringLiteral("PERC_WARN"), QStringLiteral("% for Warning"),
                           QStringLiteral("%4.2f"), 0, 50, 1, r.percWarn)}};
    }
    return vectors;
}

bool ApplyRange(const Command& command, Weather w, WeatherSettings& settings, QString& why) {
    WeatherRange range = settings.ranges[size_t(w)];
    for (const Command::Member& m : command.members) {
        double value = 0;
        if (!ParseNumber(m.value, value)) {
            why = QStringLiteral("%1 needs a number for %2").arg(command.name, m.name);
            return false;
        }
        if (m.name == QLatin1StringView("MIN_OK"))
            range.minOk = value;
        else if (m.name == QLatin1StringView("MAX_OK"))
            range.maxOk = value;
        else if (m.name == QLatin1StringView("PERC_WARN"))
            range.percWarn = value;
        else {
            why = QStringLiteral("%1 has no %2").arg(command.name, m.name);
            return false;
        }
    }
    if (range.minOk > range.maxOk || range.percWarn < 0 || range.percWarn > 50) {
        why = QStringLiteral("%1: the OK range must not be empty and the warning within 0 to 50 %")
                  .arg(command.name);
        return false;
    }
    settings.ranges[size_t(w)] = range;
    return true;
}

} // namespace indi
