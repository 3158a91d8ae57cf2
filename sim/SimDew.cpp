// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimDew.h"

#include "DeviceNumbers.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr auto kTick = std::chrono::milliseconds(100);

std::optional<int> Digit(char c) {
    if (c < '0' || c > '9') return std::nullopt;
    return c - '0';
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TSimDewController::TSimDewController(const TDewOptions& o)
    : TSimDevice("dew", false), firmware_(o.firmware), settings_(o.settings), ambient_(o.ambient),
      humidity_(o.humidity), probe_{o.ambient - kSkyCooling, o.ambient - kSkyCooling},
      ambientDrift_(o.ambientDriftPerSecond), humidityDrift_(o.humidityDriftPerSecond),
      timeScale_(o.timeScale), lastAdvance_(Clock::now()) {
    Start();
}

TSimDewController::~TSimDewController() {
    Stop();
}

TDewReadings TSimDewController::ReadingsLocked() const {
    TDewReadings r;
    r.probe = probe_;
    r.ambient = ambient_;
    r.humidity = humidity_;
    r.dewPoint = DewPoint(ambient_, humidity_);
    for (int i = 0; i < 3; ++i)
        r.output[i] = static_cast<int>(std::lround(output_[i]));
    return r;
}

TDewReadings TSimDewController::Readings() const {
    std::lock_guard lock(mutex_);
    return ReadingsLocked();
}

TDewSettings TSimDewController::Settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

double TSimDewController::Output(int index) const {
    std::lock_guard lock(mutex_);
    return output_.at(index - 1);
}

void TSimDewController::SetAmbient(double celsius) {
    std::lock_guard lock(mutex_);
    CatchUp();
    ambient_ = celsius;
}

void TSimDewController::SetHumidity(double percent) {
    std::lock_guard lock(mutex_);
    CatchUp();
    humidity_ = std::clamp(percent, 0.0, 100.0);
}

void TSimDewController::SetProbe(int index, double celsius) {
    std::lock_guard lock(mutex_);
    CatchUp();
    probe_.at(index - 1) = celsius;
}

void TSimDewController::SetDrift(double ambientPerSecond, double humidityPerSecond) {
    std::lock_guard lock(mutex_);
    CatchUp();
    ambientDrift_ = ambientPerSecond;
    humidityDrift_ = humidityPerSecond;
}

void TSimDewController::SetTimeScale(double simulatedPerReal) {
    std::lock_guard lock(mutex_);
    CatchUp();
    timeScale_ = std::max(simulatedPerReal, 0.0);
}

TSimDewController::Clock::time_point TSimDewController::Advance(Clock::time_point now) {
    const double dt = std::chrono::duration<double>(now - lastAdvance_).count() * timeScale_;
    lastAdvance_ = now;

    ambient_ += ambientDrift_ * dt;
    humidity_ = std::clamp(humidity_ + humidityDrift_ * dt, 5.0, 99.0);
    const double dewPoint = DewPoint(ambient_, humidity_);

    if (settings_.automatic) {
        const double change = AggressivityRate(settings_.aggressivity) * dt;
        for (int i = 0; i < 2; ++i) {
            const double have = probe_[i] + settings_.calibration[i];
            const double need = dewPoint + settings_.threshold[i];
            if (have < need)
                output_[i] += change;
            else if (have > need + kHysteresis)
                output_[i] -= change;
            output_[i] = std::clamp(output_[i], 0.0, 100.0);
        }
    }
    if (settings_.linked) output_[2] = output_[1];

    const double approach = 1 - std::exp(-dt / kProbeLag);
    for (int i = 0; i < 2; ++i) {
        const double equilibrium = ambient_ - kSkyCooling + kFullHeat * output_[i] / 100;
        probe_[i] += (equilibrium - probe_[i]) * approach;
    }
    return now + kTick;
}

void TSimDewController::SetOutput(int index, int percent) {
    const double value = std::clamp(percent, 0, 100);
    // Automatic mode owns outputs 1 and 2, and output 3 while it is linked to output 2.
    if (settings_.automatic && index < 3) return;
    if (settings_.linked && index == 3) return;
    output_[index - 1] = value;
    if (settings_.linked && index == 2) output_[2] = value;
}

bool TSimDewController::Setting(const std::string& c) {
    if ((StartsWith(c, "S1O") || StartsWith(c, "S2O") || StartsWith(c, "S3O"))) {
        const auto value = DeviceDigits(std::string_view(c).substr(3));
        if (!value) return false;
        SetOutput(c[1] - '0', *value);
    } else if (StartsWith(c, "SCA")) {
        const auto t1 = Digit(c[3]), t2 = Digit(c[4]), ta = Digit(c[5]);
        if (!t1 || !t2 || !ta) return false;
        settings_.calibration = {*t1, *t2, *ta};
    } else if (StartsWith(c, "STHR")) {
        const auto t1 = Digit(c[4]), t2 = Digit(c[5]);
        if (!t1 || !t2) return false;
        settings_.threshold = {*t1, *t2};
    } else if (c == "SLINK1" || c == "SLINK0") {
        settings_.linked = c == "SLINK1";
        if (settings_.linked) output_[2] = output_[1];
    } else if (c == "SAUTO1" || c == "SAUTO0") {
        settings_.automatic = c == "SAUTO1";
    } else if (StartsWith(c, "SAGGR")) {
        const auto level = Digit(c[5]);
        if (!level || *level < 1 || *level > 4) return false;
        settings_.aggressivity = *level;
    } else if (c == "SEERAZ") {
        settings_ = TDewOptions::FactorySettings();
        output_ = {0, 0, 0};
    } else {
        return false;
    }
    return true;
}

void TSimDewController::OnCommand(const std::string& c, Clock::time_point now) {
    Advance(now);
    if (c == "SWHOIS") {
        Reply(DewIdentification(firmware_), now);
    } else if (c == "SGETAL") {
        Reply(DewFrame(ReadingsLocked(), settings_), now);
    } else if (c.size() == TCommandFramer::kLength && c[0] == 'S') {
        Reply(Setting(c) ? kDewDone : kDewError, now);
    }
    // Anything else is not a command of this controller: no answer.
}
