// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A simulated Quillo focuser: answers the identification, position and temperature polls,
// stores its settings, moves at its motor speed and compensates temperature when asked.
#include "FocuserReplies.h"
#include "SimDevice.h"

struct TFocuserOptions {
    bool answersWhoIs = true; // false: the older model, identified only by "!" to "FMMODE"
    int firmware = 1321;      // below 1321: no coefficient sign flag ("FTAXXA", "FZAXX")
    int position = 30000;
    double temperature = 12.0;           // degrees
    double driftPerSecond = -1.5 / 3600; // the tube cools through the night
    double stepsPerSecond = 400;         // at speed "Average"; "Slow" half, "UltraSlow" a quarter
    TFocuserSettings settings = FactorySettings();

    static TFocuserSettings FactorySettings() { return {}; }
};

class TSimFocuser final : public TSimDevice {
  public:
    explicit TSimFocuser(const TFocuserOptions& options = {});
    ~TSimFocuser() override;

    int Position() const;
    bool Moving() const;
    double Temperature() const;
    bool Compensating() const;
    TFocuserSettings Settings() const;
    int Firmware() const { return firmware_; }
    // Commands that arrived while a commanded move had not reported its end: what one program
    // serving several clients must never send.
    int CommandsDuringMoves() const;

    void SetTemperature(double celsius);
    void SetDrift(double degreesPerSecond);
    void SetStepsPerSecond(double atAverageSpeed);
    void SetPosition(int position);

    // Compensation: with the sign flag clear, a warmer tube moves the focuser out by the
    // coefficient per degree; with it set, in. It acts once the change since the last
    // correction amounts to the threshold (in steps).

  protected:
    void OnCommand(const std::string& command, Clock::time_point now) override;
    Clock::time_point Advance(Clock::time_point now) override;

  private:
    void StartMove(double target, bool announce, Clock::time_point now);
    double StepRate() const;
    bool SignSupported() const { return firmware_ >= kSignFirmware; }

    const bool answersWhoIs_;
    const int firmware_;
    TFocuserSettings settings_;
    double position_;
    double target_;
    bool moving_ = false;
    bool announce_ = false; // send the completion mark when the motion ends
    int commandsDuringMoves_ = 0;
    double temperature_;
    double drift_;
    double stepsPerSecond_;
    bool compensating_ = false;
    double compensatedAt_ = 0; // temperature of the last correction
    Clock::time_point lastAdvance_;
};
