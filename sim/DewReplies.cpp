// SPDX-License-Identifier: GPL-3.0-or-later
#include "DewReplies.h"

#include "DeviceNumbers.h"

#include <algorithm>
#include <cmath>

double DewPoint(double celsius, double humidity) {
    constexpr double a = 17.62;
    constexpr double b = 243.12;
    const double gamma =
        std::log(std::clamp(humidity, 0.1, 100.0) / 100.0) + a * celsius / (b + celsius);
    return b * gamma / (a - gamma);
}

std::string DewIdentification(int firmware) {
    return "Brisella BRS (" + std::to_string(firmware) + ")\r";
}

std::string DewFrame(const TDewReadings& r, const TDewSettings& s) {
    std::string text = "##";
    const auto real = [&](double v, int decimals) { text += FixedText(v, decimals) + "/"; };
    const auto whole = [&](int v) { text += std::to_string(v) + "/"; };
    real(r.probe[0], 2);
    real(r.probe[1], 2);
    real(r.ambient, 2);
    real(r.humidity, 1);
    real(r.dewPoint, 2);
    for (const int out : r.output)
        whole(out);
    for (const int cal : s.calibration)
        whole(cal);
    for (const int thr : s.threshold)
        whole(thr);
    whole(s.automatic ? 1 : 0);
    whole(s.linked ? 1 : 0);
    text += std::to_string(s.aggressivity) + "**";
    return text;
}

double AggressivityRate(int aggressivity) {
    switch (aggressivity) {
    case 1:
        return 100.0 / 300;
    case 2:
        return 100.0 / 150;
    case 3:
        return 100.0 / 60;
    default:
        return 100.0 / 30;
    }
}
