// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Brisella dew controller as two ASCOM devices: ObservingConditions 0 (its ambient
// temperature as the main window shows it, humidity and dew point, from its frames) and
// Switch 0 (its three heater outputs, 0 to 100 % in steps of 10, and its automatic mode and
// linked outputs as on/off switches), through the same exchanges as the windows.
#include "AlpacaDevice.h"

#include <QElapsedTimer>
#include <QObject>
#include <array>
#include <functional>
#include <optional>

class TDewController;

class TAlpacaConditions : public QObject, public TAlpacaDevice {
  public:
    explicit TAlpacaConditions(TDewController& dew, QObject* parent = nullptr);

    QString DeviceType() const override { return QStringLiteral("ObservingConditions"); }
    int DeviceNumber() const override { return 0; }
    QString DeviceName() const override { return QStringLiteral("Brisella"); }
    QString Description() const override;
    int InterfaceVersion() const override { return 1; }
    bool Connected() const override;
    QList<TAlpacaMember> Members() const override;
    QCoro::Task<TAlpacaReply> Call(TAlpacaCall call) override;
    QList<std::pair<QString, QString>> State() const override;
    // "Probes": the two heater probes' temperatures as the main window shows them, a JSON
    // object {"Probe1": °C, "Probe2": °C} in a string. "History", once given a source: the
    // night's temperatures as that source writes them.
    QStringList SupportedActions() const override;
    TAlpacaReply RunAction(const QString& name) const override;
    void SetHistorySource(std::function<QString()> source) { history_ = std::move(source); }

  private:
    TAlpacaReply Sensor(const QString& name, bool describe) const;
    TAlpacaReply Reading(double value) const;

    TDewController& dew_;
    QElapsedTimer lastFrame_; // invalid until a frame came since the link opened
    std::function<QString()> history_;
};

// The switches of Switch 0 by their Id.
enum class TDewSwitch { Output1, Output2, Output3, AutoMode, LinkedOutputs };
inline constexpr int kDewSwitchCount = 5;

// A value given to an output (percent), as its slider position (0 to 10, the nearest step);
// nothing outside 0 to 100.
std::optional<int> OutputSliderFor(double percent);

class TAlpacaSwitches : public QObject, public TAlpacaDevice {
  public:
    explicit TAlpacaSwitches(TDewController& dew, QObject* parent = nullptr);

    QString DeviceType() const override { return QStringLiteral("Switch"); }
    int DeviceNumber() const override { return 0; }
    QString DeviceName() const override { return QStringLiteral("Brisella outputs"); }
    QString Description() const override;
    int InterfaceVersion() const override { return 2; }
    bool Connected() const override;
    QList<TAlpacaMember> Members() const override;
    QCoro::Task<TAlpacaReply> Call(TAlpacaCall call) override;
    QList<std::pair<QString, QString>> State() const override;

  private:
    double Value(TDewSwitch id) const;
    bool CanWrite(TDewSwitch id) const;
    QCoro::Task<TAlpacaReply> Set(TDewSwitch id, double value);

    TDewController& dew_;
    // What an output was last set to over Alpaca, until the next frame says what it is.
    std::array<std::optional<int>, 3> setOutputs_;
};
