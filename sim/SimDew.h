// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A simulated Brisella dew-heater controller: two probes on the optics, an ambient sensor with
// humidity, three heater outputs and an automatic mode that keeps each probe above the dew
// point plus its threshold.
#include "DewReplies.h"
#include "SimDevice.h"

struct TDewOptions {
    int firmware = 12;
    double ambient = 8.0;                       // degrees
    double humidity = 75.0;                     // percent
    double ambientDriftPerSecond = -1.0 / 3600; // the night cools
    double humidityDriftPerSecond = 4.0 / 3600; // and grows damp
    double timeScale = 1.0;                     // simulated seconds per real second
    TDewSettings settings{};

    static TDewSettings FactorySettings() { return {}; }
};

class TSimDewController final : public TSimDevice {
  public:
    // The optics sit this far below ambient unheated, and 100 % power lifts them this far.
    static constexpr double kSkyCooling = 2.0;
    static constexpr double kFullHeat = 10.0;
    // Probes follow their equilibrium with this time constant (simulated seconds).
    static constexpr double kProbeLag = 90.0;
    // Automatic mode lowers an output only once the probe is this far above its target.
    static constexpr double kHysteresis = 1.0;

    explicit TSimDewController(const TDewOptions& options = {});
    ~TSimDewController() override;

    TDewReadings Readings() const; // as the next frame would report them
    TDewSettings Settings() const;
    double Output(int index) const; // 1 to 3, percent, unrounded
    int Firmware() const { return firmware_; }

    void SetAmbient(double celsius);
    void SetHumidity(double percent);
    void SetProbe(int index, double celsius); // 1 or 2
    void SetDrift(double ambientPerSecond, double humidityPerSecond);
    void SetTimeScale(double simulatedPerReal);

  protected:
    void OnCommand(const std::string& command, Clock::time_point now) override;
    Clock::time_point Advance(Clock::time_point now) override;

  private:
    bool Setting(const std::string& command);
    void SetOutput(int index, int percent);
    TDewReadings ReadingsLocked() const;

    const int firmware_;
    TDewSettings settings_;
    double ambient_;
    double humidity_;
    std::array<double, 2> probe_;
    std::array<double, 3> output_{0, 0, 0};
    double ambientDrift_;
    double humidityDrift_;
    double timeScale_;
    Clock::time_point lastAdvance_;
};
