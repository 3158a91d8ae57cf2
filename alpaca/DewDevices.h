// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Brisella dew controller as two ASCOM devices of Platform 7: ObservingConditions 0
// (IObservingConditionsV2: its ambient temperature as the main window shows it, humidity and dew
// point, from its frames) and Switch 0 (ISwitchV3: its three heater outputs, 0 to 100 % in steps
// of 10, and its automatic mode and linked outputs as on/off switches), through the same
// exchanges as the windows. A switch write returns once a frame of the controller confirmed the
// value written, and the reads answer from that state; SetAsync and SetAsyncValue start the same
// write and return at once, StateChangeComplete telling when it ended.
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
    int InterfaceVersion() const override { return 2; }
    bool Connected() const override;
    QList<TAlpacaMember> Members() const override;
    QCoro::Task<TAlpacaReply> Call(TAlpacaCall call) override;
    QList<std::pair<QString, QString>> State() const override;
    // "Probes": the two heater probes' temperatures as the main window shows them, a JSON
    // object {"Probe1": °C, "Probe2": °C} in a string. "History", once given a source: the
    // night's temperatures as that source writes them.
    QStringList SupportedActions() const override;
    TAlpacaReply RunAction(const QString& name) const override;
    // DewPoint, Humidity and Temperature once a frame came.
    QJsonArray DeviceState() const override;
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
    int InterfaceVersion() const override { return 3; }
    bool Connected() const override;
    QList<TAlpacaMember> Members() const override;
    QCoro::Task<TAlpacaReply> Call(TAlpacaCall call) override;
    QList<std::pair<QString, QString>> State() const override;
    // GetSwitchN, GetSwitchValueN and StateChangeCompleteN of every switch (but a
    // StateChangeComplete that would report a failed write).
    QJsonArray DeviceState() const override;

  private:
    double Value(TDewSwitch id) const;
    // Why an output cannot be written now (empty: it can), as the controller's modes say.
    QString Locked(TDewSwitch id) const;
    bool CanWrite(TDewSwitch id) const;
    // Why the value cannot be written to the switch now (nullopt: it can).
    std::optional<TAlpacaReply> Refusal(TDewSwitch id, double value) const;
    // The write of a value already checked, in the controller's turn; returns once the
    // controller confirmed it.
    QCoro::Task<TAlpacaReply> Write(TDewSwitch id, double value);
    // Write, counted as running for StateChangeComplete meanwhile.
    QCoro::Task<TAlpacaReply> Set(TDewSwitch id, double value, bool async);
    TAlpacaReply StateChangeComplete(TDewSwitch id) const;

    TDewController& dew_;
    // The writes of each switch under way, and the failure of its last asynchronous write
    // (0x500 and why the controller did not take it, 0x407 when the link closed meanwhile).
    struct TWrites {
        int running = 0;
        std::optional<TAlpacaReply> failed;
    };
    std::array<TWrites, kDewSwitchCount> writes_;
};
