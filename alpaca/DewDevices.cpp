// SPDX-License-Identifier: GPL-3.0-or-later
#include "DewDevices.h"

#include "Device.h"
#include "DewController.h"
#include "Display.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <cmath>

namespace {

// ---- ObservingConditions ----

const QList<TAlpacaMember> kConditionMembers = {
    {QLatin1StringView("averageperiod"), true, true, false},
    {QLatin1StringView("cloudcover"), true, false, false},
    {QLatin1StringView("dewpoint"), true, false, true},
    {QLatin1StringView("humidity"), true, false, true},
    {QLatin1StringView("pressure"), true, false, false},
    {QLatin1StringView("rainrate"), true, false, false},
    {QLatin1StringView("skybrightness"), true, false, false},
    {QLatin1StringView("skyquality"), true, false, false},
    {QLatin1StringView("skytemperature"), true, false, false},
    {QLatin1StringView("starfwhm"), true, false, false},
    {QLatin1StringView("temperature"), true, false, true},
    {QLatin1StringView("winddirection"), true, false, false},
    {QLatin1StringView("windgust"), true, false, false},
    {QLatin1StringView("windspeed"), true, false, false},
    {QLatin1StringView("refresh"), false, true, false},
    {QLatin1StringView("sensordescription"), true, false, false},
    {QLatin1StringView("timesincelastupdate"), true, false, true},
};

// The sensor names of the interface; the Brisella has the first three.
const char* const kSensorNames[] = {"Temperature",    "Humidity", "DewPoint",      "CloudCover",
                                    "Pressure",       "RainRate", "SkyBrightness", "SkyQuality",
                                    "SkyTemperature", "StarFWHM", "WindDirection", "WindGust",
                                    "WindSpeed"};
constexpr int kBrisellaSensors = 3;
const char* const kSensorDescriptions[kBrisellaSensors] = {
    "Brisella ambient temperature probe, its calibration offset applied (°C)",
    "Brisella relative humidity sensor (%)",
    "Dew point computed by the Brisella from its temperature and humidity (°C)",
};

// ---- Switch ----

const QList<TAlpacaMember> kSwitchMembers = {
    {QLatin1StringView("maxswitch"), true, false, false},
    {QLatin1StringView("canwrite"), true, false, true},
    {QLatin1StringView("getswitch"), true, false, true},
    {QLatin1StringView("getswitchdescription"), true, false, false},
    {QLatin1StringView("getswitchname"), true, false, false},
    {QLatin1StringView("getswitchvalue"), true, false, true},
    {QLatin1StringView("minswitchvalue"), true, false, false},
    {QLatin1StringView("maxswitchvalue"), true, false, false},
    {QLatin1StringView("setswitch"), false, true, true},
    {QLatin1StringView("setswitchname"), false, true, false},
    {QLatin1StringView("setswitchvalue"), false, true, true},
    {QLatin1StringView("switchstep"), true, false, false},
};

const char* const kSwitchNames[kDewSwitchCount] = {"Output 1", "Output 2", "Output 3",
                                                   "Automatic mode", "Linked outputs"};
const char* const kSwitchDescriptions[kDewSwitchCount] = {
    "Heater output 1 power (%), as the main window's first slider",
    "Heater output 2 power (%), as the main window's second slider",
    "Heater output 3 power (%), as the main window's third slider",
    "Automatic mode: the Brisella sets outputs 1 and 2 (and 3 while linked) itself",
    "Output 3 follows output 2",
};

bool IsOutput(TDewSwitch id) {
    return id <= TDewSwitch::Output3;
}

int OutputNumber(TDewSwitch id) {
    return int(id) + 1;
}

TAlpacaReply Failed(const TAlpacaDevice& device, const Failure& failure) {
    return TAlpacaReply::Error(ascom::kDriverError,
                               device.DeviceName() + QStringLiteral(": ") + failure.Message());
}

// The exchange's outcome as a reply; the device may be gone once it ends.
template <class Self>
TAlpacaReply Ended(const QPointer<Self>& self, const Failure* failure, bool cancelled) {
    if (!self) return TAlpacaReply::Error(ascom::kNotConnected, {});
    if (cancelled) return NotConnectedReply(*self);
    if (failure) return Failed(*self, *failure);
    return TAlpacaReply::Ok();
}

} // namespace

// ---- ObservingConditions ----

TAlpacaConditions::TAlpacaConditions(TDewController& dew, QObject* parent)
    : QObject(parent), dew_(dew) {
    connect(&dew_, &TDewController::FrameParsed, this, [this] { lastFrame_.start(); });
    connect(&dew_, &TDevice::Opened, this, [this] { lastFrame_.invalidate(); });
}

QString TAlpacaConditions::Description() const {
    return QStringLiteral("Brisella dew-heater controller's weather sensors, through Skyvarn");
}

bool TAlpacaConditions::Connected() const {
    return dew_.Ready();
}

QList<TAlpacaMember> TAlpacaConditions::Members() const {
    return kConditionMembers;
}

QList<std::pair<QString, QString>> TAlpacaConditions::State() const {
    const DewTexts texts = DewDisplayTexts(dew_.Values);
    return {
        {QStringLiteral("Temperature"), texts.ambTemp},
        {QStringLiteral("Humidity"), texts.humidity},
        {QStringLiteral("Dew point"), texts.dewpoint},
        {QStringLiteral("Last reading"),
         lastFrame_.isValid() ? QStringLiteral("%1 s ago").arg(lastFrame_.elapsed() / 1000)
                              : QStringLiteral("none yet")},
    };
}

TAlpacaReply TAlpacaConditions::Reading(double value) const {
    if (!lastFrame_.isValid())
        return TAlpacaReply::Error(ascom::kInvalidOperation,
                                   QStringLiteral("The Brisella has sent no reading yet"));
    return TAlpacaReply::Ok(value);
}

QStringList TAlpacaConditions::SupportedActions() const {
    QStringList actions{QStringLiteral("Probes")};
    if (history_) actions.append(QStringLiteral("History"));
    return actions;
}

TAlpacaReply TAlpacaConditions::RunAction(const QString& name) const {
    if (name == QLatin1String("History") && history_) return TAlpacaReply::Ok(history_());
    if (name != QLatin1String("Probes")) return TAlpacaDevice::RunAction(name);
    if (!Connected()) return NotConnectedReply(*this);
    const DewValues& v = dew_.Values;
    const QJsonObject probes{{QStringLiteral("Probe1"), v.CalT1 + v.LocTemp1},
                             {QStringLiteral("Probe2"), v.CalT2 + v.LocTemp2}};
    const TAlpacaReply reading = Reading(0);
    if (reading.errorNumber != 0) return reading;
    return TAlpacaReply::Ok(
        QString::fromUtf8(QJsonDocument(probes).toJson(QJsonDocument::Compact)));
}

TAlpacaReply TAlpacaConditions::Sensor(const QString& name, bool describe) const {
    int index = -1;
    for (int i = 0; i < int(std::size(kSensorNames)); ++i)
        if (name.compare(QLatin1String(kSensorNames[i]), Qt::CaseInsensitive) == 0) index = i;
    // The time since the latest update of any sensor.
    if (!describe && name.isEmpty()) index = 0;
    if (index < 0)
        return TAlpacaReply::Error(ascom::kInvalidValue,
                                   QStringLiteral("No sensor is named '%1'").arg(name));
    if (index >= kBrisellaSensors)
        return TAlpacaReply::Error(ascom::kNotImplemented,
                                   QStringLiteral("The Brisella has no %1 sensor")
                                       .arg(QLatin1String(kSensorNames[index])));
    if (describe) return TAlpacaReply::Ok(QString::fromUtf8(kSensorDescriptions[index]));
    // One frame brings every reading.
    return Reading(lastFrame_.isValid() ? lastFrame_.elapsed() / 1000.0 : 0);
}

QCoro::Task<TAlpacaReply> TAlpacaConditions::Call(TAlpacaCall call) {
    const QString& m = call.member;
    const DewValues& v = dew_.Values;
    if (m == QLatin1String("temperature")) co_return Reading(v.CalTA + v.AmbTemp);
    if (m == QLatin1String("humidity")) co_return Reading(v.Humidity);
    if (m == QLatin1String("dewpoint")) co_return Reading(v.Dewpoint);
    if (m == QLatin1String("averageperiod")) {
        if (!call.put) co_return TAlpacaReply::Ok(0.0);
        if (call.Double(QLatin1StringView("AveragePeriod")) == 0) co_return TAlpacaReply::Ok();
        co_return TAlpacaReply::Error(ascom::kInvalidValue,
                                      QStringLiteral("The Brisella's readings are not averaged: "
                                                     "the only average period is 0"));
    }
    if (m == QLatin1String("sensordescription"))
        co_return Sensor(call.Text(QLatin1StringView("SensorName")), true);
    if (m == QLatin1String("timesincelastupdate"))
        co_return Sensor(call.Text(QLatin1StringView("SensorName")), false);
    if (m == QLatin1String("refresh"))
        co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                      QStringLiteral("The Brisella sends its readings every 2 s "
                                                     "while Skyvarn tracks it"));
    co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                  QStringLiteral("The Brisella has no %1 sensor").arg(m));
}

// ---- Switch ----

std::optional<int> OutputSliderFor(double percent) {
    if (!(percent >= 0 && percent <= 100)) return std::nullopt;
    return int(std::lround(percent / 10));
}

TAlpacaSwitches::TAlpacaSwitches(TDewController& dew, QObject* parent)
    : QObject(parent), dew_(dew) {
    connect(&dew_, &TDewController::FrameParsed, this, [this] { setOutputs_.fill(std::nullopt); });
    connect(&dew_, &TDevice::Opened, this, [this] { setOutputs_.fill(std::nullopt); });
}

QString TAlpacaSwitches::Description() const {
    return QStringLiteral("Brisella dew-heater controller's outputs and modes, through Skyvarn");
}

bool TAlpacaSwitches::Connected() const {
    return dew_.Ready();
}

QList<TAlpacaMember> TAlpacaSwitches::Members() const {
    return kSwitchMembers;
}

double TAlpacaSwitches::Value(TDewSwitch id) const {
    const DewValues& v = dew_.Values;
    switch (id) {
    case TDewSwitch::Output1:
    case TDewSwitch::Output2:
    case TDewSwitch::Output3: {
        const int out = id == TDewSwitch::Output1   ? v.Out1
                        : id == TDewSwitch::Output2 ? v.Out2
                                                    : v.Out3;
        return setOutputs_[int(id)].value_or(out);
    }
    case TDewSwitch::AutoMode:
        return v.Automode != 0 ? 1 : 0;
    case TDewSwitch::LinkedOutputs:
        return v.OutsLinked != 0 ? 1 : 0;
    }
    return 0;
}

bool TAlpacaSwitches::CanWrite(TDewSwitch id) const {
    return !IsOutput(id) || !dew_.OutputOwnedByAuto(OutputNumber(id));
}

QList<std::pair<QString, QString>> TAlpacaSwitches::State() const {
    QList<std::pair<QString, QString>> state;
    for (int i = 0; i < kDewSwitchCount; ++i) {
        const auto id = TDewSwitch(i);
        QString text = IsOutput(id)     ? QStringLiteral("%1 %").arg(Value(id))
                       : Value(id) != 0 ? QStringLiteral("on")
                                        : QStringLiteral("off");
        if (!CanWrite(id)) text += QStringLiteral(" (set by automatic mode)");
        state.append({QLatin1String(kSwitchNames[i]), text});
    }
    return state;
}

QCoro::Task<TAlpacaReply> TAlpacaSwitches::Call(TAlpacaCall call) {
    const QString& m = call.member;
    if (m == QLatin1String("maxswitch")) co_return TAlpacaReply::Ok(kDewSwitchCount);
    const qint32 number = call.Int(QLatin1StringView("Id"));
    if (number < 0 || number >= kDewSwitchCount)
        co_return TAlpacaReply::Error(ascom::kInvalidValue,
                                      QStringLiteral("No switch %1: the switches are 0 to %2")
                                          .arg(number)
                                          .arg(kDewSwitchCount - 1));
    const auto id = TDewSwitch(number);
    if (m == QLatin1String("getswitchname"))
        co_return TAlpacaReply::Ok(QLatin1String(kSwitchNames[number]));
    if (m == QLatin1String("getswitchdescription"))
        co_return TAlpacaReply::Ok(QLatin1String(kSwitchDescriptions[number]));
    if (m == QLatin1String("minswitchvalue")) co_return TAlpacaReply::Ok(0.0);
    if (m == QLatin1String("maxswitchvalue"))
        co_return TAlpacaReply::Ok(IsOutput(id) ? 100.0 : 1.0);
    if (m == QLatin1String("switchstep")) co_return TAlpacaReply::Ok(IsOutput(id) ? 10.0 : 1.0);
    if (m == QLatin1String("canwrite")) co_return TAlpacaReply::Ok(CanWrite(id));
    // On above the middle of its range: an output at 10 % is off.
    if (m == QLatin1String("getswitch"))
        co_return TAlpacaReply::Ok(Value(id) > (IsOutput(id) ? 50 : 0.5));
    if (m == QLatin1String("getswitchvalue")) co_return TAlpacaReply::Ok(Value(id));
    if (m == QLatin1String("setswitchname"))
        co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                      QStringLiteral("The switches' names are fixed"));
    if (m == QLatin1String("setswitch")) {
        // On is the most, off the least of the switch's values.
        const bool state = call.Bool(QLatin1StringView("State"));
        co_return co_await Set(id, state ? (IsOutput(id) ? 100 : 1) : 0);
    }
    // setswitchvalue
    co_return co_await Set(id, call.Double(QLatin1StringView("Value")));
}

QCoro::Task<TAlpacaReply> TAlpacaSwitches::Set(TDewSwitch id, double value) {
    const double most = IsOutput(id) ? 100 : 1;
    if (!(value >= 0 && value <= most))
        co_return TAlpacaReply::Error(ascom::kInvalidValue,
                                      QStringLiteral("%1 takes a value from 0 to %2, not %3")
                                          .arg(QLatin1String(kSwitchNames[int(id)]))
                                          .arg(most)
                                          .arg(value));
    // ISwitch's answer to a switch that cannot be written: not implemented for it.
    if (!CanWrite(id))
        co_return TAlpacaReply::Error(
            ascom::kNotImplemented,
            QStringLiteral("%1 is set by the Brisella's automatic mode; turn the mode off first")
                .arg(QLatin1String(kSwitchNames[int(id)])));

    const QPointer<TAlpacaSwitches> self(this);
    std::optional<Failure> failure;
    bool cancelled = false;
    try {
        if (IsOutput(id)) {
            const int slider = *OutputSliderFor(value);
            setOutputs_[int(id)] = slider * 10;
            co_await dew_.SetOutput(OutputNumber(id), slider); // "S2O070"
        } else {
            // As the settings window saves the outputs' modes; the other mode and the
            // aggressivity stay as the Brisella was last told or showed since.
            co_await dew_.SetMode(id == TDewSwitch::LinkedOutputs ? TDewController::Mode::Linked
                                                                  : TDewController::Mode::Automatic,
                                  value >= 0.5);
        }
    } catch (const TSuperseded&) {
        // A newer value for the same switch replaced this one before it was written.
    } catch (const TCancelled&) {
        cancelled = true;
    } catch (const Failure& e) {
        failure = e;
    }
    if ((failure || cancelled) && self && IsOutput(id)) self->setOutputs_[int(id)].reset();
    co_return Ended(self, failure ? &*failure : nullptr, cancelled);
}
