// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Brisella as INDI's weather interface sees it: its parameters, a light per parameter
// judged against ranges a client may set, the update period and the refresh switch. Pure.
#include "Protocol.h"

#include <array>

namespace indi {

// The parameters in WEATHER_PARAMETERS' order.
enum class Weather { Temperature, Humidity, DewPoint, DewMargin };
inline constexpr int kWeatherCount = 4;
QString WeatherName(Weather w); // "WEATHER_HUMIDITY"

// INDI's rule for a weather light: Ok within [minOk, maxOk], a warning (Busy) within percWarn %
// of that range from an edge (an edge at 0 has no warning band), an alert outside.
struct WeatherRange {
    double minOk = 0;
    double maxOk = 0;
    double percWarn = 0;
};
State Judge(const WeatherRange& range, double value);

struct WeatherSettings {
    // What matters to a dew heater's user: humidity (warning above 80 %, alert above 90 %) and
    // how far the air is above its dew point (warning below 5 °C, alert below 2 °C).
    std::array<WeatherRange, kWeatherCount> ranges = {{
        {-20, 40, 10}, // temperature: warning below -14 °C and above 34 °C
        {0, 90, 11},   // humidity
        {-50, 30, 10}, // dew point
        {2, 62, 5},    // margin
    }};
    // WEATHER_UPDATE: with no frame for this long the server asks one itself (0: never).
    double periodSeconds = 60;
};

// The weather vectors beyond WEATHER_PARAMETERS, Idle: WEATHER_STATUS, WEATHER_UPDATE,
// WEATHER_REFRESH and one range vector per parameter, named as the parameter.
QList<Vector> WeatherVectors(const QString& device, const WeatherSettings& settings);
inline const QString kWeatherStatus = QStringLiteral("WEATHER_STATUS");
inline const QString kWeatherUpdate = QStringLiteral("WEATHER_UPDATE");
inline const QString kWeatherRefresh = QStringLiteral("WEATHER_REFRESH");

// A client's new range vector applied to settings; false with why when it does not hold
// (a member missing or not a number, minOk above maxOk, percWarn outside 0..50).
bool ApplyRange(const Command& command, Weather w, WeatherSettings& settings, QString& why);

} // namespace indi
