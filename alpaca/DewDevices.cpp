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
    // ISwitchV3
    {QLatin1StringView("canasync"), true, false, true},
    {QLatin1StringView("cancelasync"), false, true, true},
    {QLatin1StringView("setasync"), false, true, true},
    {QLatin1StringView("setasyncvalue"), false, true, true},
    {QLatin1StringView("statechangecomplete"), true, false, true},
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

QJsonArray TAlpacaConditions::DeviceState() const {
    if (!lastFrame_.isValid()) return {};
    const DewValues& v = dew_.Values;
    return {StateItem(QStringLiteral("DewPoint"), v.Dewpoint),
            StateItem(QStringLiteral("Humidity"), v.Humidity),
            StateItem(QStringLiteral("Temperature"), v.CalTA + v.AmbTemp)};
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
    // The sensors it has not, by their interface names.
    QString sensor = m;
    for (const char* name : kSensorNames)
        if (m.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) sensor = QLatin1String(name);
    co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                  QStringLiteral("The Brisella has no %1 sensor").arg(sensor));
}

// ---- Switch ----

std::optional<int> OutputSliderFor(double percent) {
    if (!(percent >= 0 && percent <= 100)) return std::nullopt;
    return int(std::lround(percent / 10));
}

TAlpacaSwitches::TAlpacaSwitches(TDewController& dew, QObject* parent)
    : QObject(parent), dew_(dew) {
    // What failed on the last link is no news on the next.
    connect(&dew_, &TDevice::Opened, this, [this] {
        for (TWrites& w : writes_)
            w.failed.reset();
    });
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
    // The modes as last written (a write returns once a frame confirmed it) or as the frames
    // tell since; the outputs as the last frame tells (the one that confirmed a write, or later).
    const TDewController::Modes modes = dew_.KnownModes();
    switch (id) {
    case TDewSwitch::Output1:
        return v.Out1;
    case TDewSwitch::Output2:
        return v.Out2;
    case TDewSwitch::Output3:
        return v.Out3;
    case TDewSwitch::AutoMode:
        return modes.automatic ? 1 : 0;
    case TDewSwitch::LinkedOutputs:
        return modes.linked ? 1 : 0;
    }
    return 0;
}

QString TAlpacaSwitches::Locked(TDewSwitch id) const {
    if (!IsOutput(id)) return {};
    const TDewController::Modes modes = dew_.KnownModes();
    return OutputRefusal(OutputNumber(id), modes.automatic, modes.linked);
}

bool TAlpacaSwitches::CanWrite(TDewSwitch id) const {
    return Locked(id).isEmpty();
}

QList<std::pair<QString, QString>> TAlpacaSwitches::State() const {
    QList<std::pair<QString, QString>> state;
    for (int i = 0; i < kDewSwitchCount; ++i) {
        const auto id = TDewSwitch(i);
        QString text = IsOutput(id)     ? QStringLiteral("%1 %").arg(Value(id))
                       : Value(id) != 0 ? QStringLiteral("on")
                                        : QStringLiteral("off");
        if (!CanWrite(id))
            text += id == TDewSwitch::Output3 ? QStringLiteral(" (follows output 2)")
                                              : QStringLiteral(" (set by automatic mode)");
        if (writes_[i].running > 0) text += QStringLiteral(" (being written)");
        state.append({QLatin1String(kSwitchNames[i]), text});
    }
    return state;
}

namespace {

// On above the middle of its range: an output at 10 % is off.
bool IsOn(TDewSwitch id, double value) {
    return value > (IsOutput(id) ? 50 : 0.5);
}

} // namespace

QJsonArray TAlpacaSwitches::DeviceState() const {
    QJsonArray state;
    for (int i = 0; i < kDewSwitchCount; ++i)
        state.append(StateItem(QStringLiteral("GetSwitch%1").arg(i),
                               IsOn(TDewSwitch(i), Value(TDewSwitch(i)))));
    for (int i = 0; i < kDewSwitchCount; ++i)
        state.append(StateItem(QStringLiteral("GetSwitchValue%1").arg(i), Value(TDewSwitch(i))));
    for (int i = 0; i < kDewSwitchCount; ++i) {
        const TAlpacaReply complete = StateChangeComplete(TDewSwitch(i));
        if (complete.errorNumber == 0)
            state.append(StateItem(QStringLiteral("StateChangeComplete%1").arg(i), complete.value));
    }
    return state;
}

TAlpacaReply TAlpacaSwitches::StateChangeComplete(TDewSwitch id) const {
    const TWrites& w = writes_[int(id)];
    if (w.failed) return *w.failed;
    return TAlpacaReply::Ok(w.running == 0);
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
    // Every write that can be made can be made asynchronously.
    if (m == QLatin1String("canasync")) co_return TAlpacaReply::Ok(CanWrite(id));
    if (m == QLatin1String("getswitch")) co_return TAlpacaReply::Ok(IsOn(id, Value(id)));
    if (m == QLatin1String("getswitchvalue")) co_return TAlpacaReply::Ok(Value(id));
    if (m == QLatin1String("statechangecomplete")) co_return StateChangeComplete(id);
    if (m == QLatin1String("setswitchname")) {
        // Its parameters are checked all the same: a request that cannot be read is answered so.
        call.Text(QLatin1StringView("Name"));
        co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                      QStringLiteral("The switches' names are fixed"));
    }
    if (m == QLatin1String("cancelasync"))
        co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                      QStringLiteral("A write to the Brisella cannot be called "
                                                     "back: it ends within seconds"));
    // On is the most, off the least of the switch's values.
    const double most = IsOutput(id) ? 100 : 1;
    const bool async = m == QLatin1String("setasync") || m == QLatin1String("setasyncvalue");
    const double value = m == QLatin1String("setswitch") || m == QLatin1String("setasync")
                             ? (call.Bool(QLatin1StringView("State")) ? most : 0)
                             : call.Double(QLatin1StringView("Value"));
    if (const auto refused = Refusal(id, value)) co_return *refused;
    if (!async) co_return co_await Set(id, value, false);
    Set(id, value, true); // StateChangeComplete tells when it ended
    co_return TAlpacaReply::Ok();
}

std::optional<TAlpacaReply> TAlpacaSwitches::Refusal(TDewSwitch id, double value) const {
    const double most = IsOutput(id) ? 100 : 1;
    if (!(value >= 0 && value <= most))
        return TAlpacaReply::Error(ascom::kInvalidValue,
                                   QStringLiteral("%1 takes a value from 0 to %2, not %3")
                                       .arg(QLatin1String(kSwitchNames[int(id)]))
                                       .arg(most)
                                       .arg(value));
    // ISwitch's answer to a switch that cannot be written: not implemented for it.
    if (const QString locked = Locked(id); !locked.isEmpty())
        return TAlpacaReply::Error(ascom::kNotImplemented, locked);
    return std::nullopt;
}

QCoro::Task<TAlpacaReply> TAlpacaSwitches::Set(TDewSwitch id, double value, bool async) {
    const QPointer<TAlpacaSwitches> self(this);
    ++writes_[int(id)].running;
    writes_[int(id)].failed.reset();
    const TAlpacaReply reply = co_await Write(id, value);
    if (!self) co_return reply;
    TWrites& writes = self->writes_[int(id)];
    --writes.running;
    // StateChangeComplete reports an asynchronous write's failure until the switch is written
    // again; a synchronous one's caller was told.
    if (async && reply.errorNumber != 0) writes.failed = reply;
    co_return reply;
}

QCoro::Task<TAlpacaReply> TAlpacaSwitches::Write(TDewSwitch id, double value) {
    const QPointer<TAlpacaSwitches> self(this);
    std::optional<Failure> failure;
    bool cancelled = false;
    try {
        // Each returns once a frame asked after the write confirmed the value, and raises
        // Failure when the controller does not hold it.
        if (IsOutput(id)) {
            co_await dew_.SetOutput(OutputNumber(id), *OutputSliderFor(value)); // "S2O070"
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
    co_return Ended(self, failure ? &*failure : nullptr, cancelled);
}
