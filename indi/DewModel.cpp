// SPDX-License-Identifier: GPL-3.0-or-later
#include "DewModel.h"

#include <cmath>

namespace indi {

namespace {

const QString kWeather = QStringLiteral("WEATHER_PARAMETERS");
const QString kProbes = QStringLiteral("PROBE_TEMPERATURES");
const QString kDuty = QStringLiteral("DEW_DUTY_CYCLES");
const QString kAuto = QStringLiteral("AUTO_DEW_CONTROL");
const QString kLinked = QStringLiteral("DEW_OUTPUTS_LINKED");
const QString kEnabled = QStringLiteral("INDI_ENABLED");
const QString kDisabled = QStringLiteral("INDI_DISABLED");
const QString kDewGroup = QStringLiteral("Dew");
constexpr int kOutputs = 3;

QString Channel(int output) {
    return QStringLiteral("DEW_CHANNEL_%1").arg(output);
}

Element Switch(const QString& name, const QString& label) {
    Element e;
    e.name = name;
    e.label = label;
    return e;
}

int Out(const DewValues& v, int output) {
    return output == 1 ? v.Out1 : output == 2 ? v.Out2 : v.Out3;
}

// The aggressivity list item of the settings window for the frame's value.
int AggressivityItem(const DewValues& v) {
    return v.Aggressive >= 1 && v.Aggressive <= 4 ? v.Aggressive - 1 : -1;
}

} // namespace

TDewModel::TDewModel(const QString& device, const QString& port, const DewReadings& readings,
                     const WeatherSettings& weather)
    : TDeviceModel(device, port, kWeatherInterface | kAuxInterface), weather_(weather) {
    const QString celsius = QStringLiteral("%6.2f");
    vectors_ << Vector{
        Kind::Number,
        device,
        kWeather,
        QStringLiteral("Parameters"),
        QStringLiteral("Parameters"),
        State::Idle,
        Perm::ReadOnly,
        Rule::OneOfMany,
        60,
        {NumberElement(QStringLiteral("WEATHER_TEMPERATURE"), QStringLiteral("Temperature (C)"),
                       celsius, -50, 70, 0),
         NumberElement(QStringLiteral("WEATHER_HUMIDITY"), QStringLiteral("Humidity %"),
                       QStringLiteral("%4.1f"), 0, 100, 0),
         NumberElement(QStringLiteral("WEATHER_DEWPOINT"), QStringLiteral("Dew Point (C)"), celsius,
                       -50, 70, 0),
         NumberElement(QStringLiteral("WEATHER_DEW_MARGIN"), QStringLiteral("Dew Point Margin (C)"),
                       celsius, -20, 120, 0)}};
    vectors_ << Vector{Kind::Number,
                       device,
                       kProbes,
                       QStringLiteral("Probe Temperatures"),
                       QStringLiteral("Parameters"),
                       State::Idle,
                       Perm::ReadOnly,
                       Rule::OneOfMany,
                       60,
                       {NumberElement(QStringLiteral("PROBE_1"), QStringLiteral("Probe 1 (C)"),
                                      celsius, -50, 70, 0),
                        NumberElement(QStringLiteral("PROBE_2"), QStringLiteral("Probe 2 (C)"),
                                      celsius, -50, 70, 0)}};
    Vector duty{Kind::Number, device,      kDuty,           QStringLiteral("Duty Cycles"),
                kDewGroup,    State::Idle, Perm::ReadWrite, Rule::OneOfMany,
                60,           {}};
    Vector automatic{Kind::Switch, device,      kAuto,           QStringLiteral("Auto Dew Control"),
                     kDewGroup,    State::Idle, Perm::ReadWrite, Rule::AnyOfMany,
                     60,           {}};
    for (int output = 1; output <= kOutputs; ++output) {
        const QString label = QStringLiteral("Output %1").arg(output);
        duty.elements << NumberElement(Channel(output), label + QStringLiteral(" (%)"),
                                       QStringLiteral("%.0f"), 0, 100, 10);
        automatic.elements << Switch(Channel(output), label);
    }
    vectors_ << duty << automatic
             << Vector{Kind::Switch,
                       device,
                       kLinked,
                       QStringLiteral("Outputs 2 and 3 linked"),
                       kDewGroup,
                       State::Idle,
                       Perm::ReadWrite,
                       Rule::OneOfMany,
                       60,
                       {Switch(kEnabled, QStringLiteral("Linked")),
                        Switch(kDisabled, QStringLiteral("Apart"))}};
    vectors_ << WeatherVectors(device, weather_);
    Update(readings);
}

QStringList TDewModel::Update(const DewReadings& readings) {
    readings_ = readings;
    const DewValues& v = readings.values;
    QStringList changed;
    if (!readings.framed) return changed;
    // The ambient and probe temperatures with their calibration offsets, as the main window
    // shows them.
    SetNumber(kWeather, QStringLiteral("WEATHER_TEMPERATURE"), v.CalTA + v.AmbTemp, changed);
    SetNumber(kWeather, QStringLiteral("WEATHER_HUMIDITY"), v.Humidity, changed);
    SetNumber(kWeather, QStringLiteral("WEATHER_DEWPOINT"), v.Dewpoint, changed);
    SetNumber(kWeather, QStringLiteral("WEATHER_DEW_MARGIN"), v.CalTA + v.AmbTemp - v.Dewpoint,
              changed);
    Judge(changed);
    SetNumber(kProbes, QStringLiteral("PROBE_1"), v.CalT1 + v.LocTemp1, changed);
    SetNumber(kProbes, QStringLiteral("PROBE_2"), v.CalT2 + v.LocTemp2, changed);
    // A setting being written keeps the value asked until the write ends: the frames that
    // come meanwhile may still show the old one.
    auto settled = [this](const QString& name) { return At(name).state != State::Busy; };
    for (int output = 1; output <= kOutputs; ++output) {
        if (settled(kDuty)) SetNumber(kDuty, Channel(output), Out(v, output), changed);
        if (settled(kAuto)) SetSwitch(kAuto, Channel(output), readings.owned[output - 1], changed);
    }
    if (settled(kLinked)) {
        SetSwitch(kLinked, kEnabled, v.OutsLinked == 1, changed);
        SetSwitch(kLinked, kDisabled, v.OutsLinked != 1, changed);
    }
    // The first frame makes the values good; a vector waiting for an exchange stays Busy.
    for (const QString& name : {kWeather, kProbes, kDuty, kAuto, kLinked, kWeatherUpdate})
        if (At(name).state == State::Idle) SetState(name, State::Ok, changed);
    return changed;
}

void TDewModel::Judge(QStringList& changed) {
    if (!readings_.framed) return;
    Vector& status = At(kWeatherStatus);
    const Vector& values = At(kWeather);
    State worst = State::Ok;
    for (int i = 0; i < kWeatherCount; ++i) {
        const QString name = WeatherName(Weather(i));
        const State light = indi::Judge(weather_.ranges[size_t(i)], values.Find(name)->number);
        Element* e = status.Find(name);
        if (e->light != light && !changed.contains(kWeatherStatus)) changed << kWeatherStatus;
        e->light = light;
        if (light == State::Alert || (light == State::Busy && worst == State::Ok)) worst = light;
    }
    SetState(kWeatherStatus, worst, changed);
}

TDewModel::Action TDewModel::WeatherRequest(const Command& command) {
    Action action;
    Reply& reply = action.reply;
    reply.changed << command.name;
    Vector& vector = At(command.name);
    QString why;
    if (command.name == kWeatherRefresh) {
        bool on = false;
        const QString* text = command.Value(QStringLiteral("REFRESH"));
        if (command.type != Command::Type::NewSwitch || !text || !ParseSwitch(*text, on)) {
            reply.message = QStringLiteral("%1 takes REFRESH On").arg(command.name);
            vector.state = State::Alert;
            return action;
        }
        if (!on) return action;
        // Until the frame came.
        vector.elements[0].on = true;
        vector.state = State::Busy;
        action.what = Action::Do::Refresh;
        return action;
    }
    WeatherSettings asked = weather_;
    bool good = command.type == Command::Type::NewNumber;
    if (good && command.name == kWeatherUpdate) {
        int seconds = 0;
        good = WholeNumber(command, QStringLiteral("PERIOD"), 0, 3600, seconds, why);
        asked.periodSeconds = seconds;
    } else if (good) {
        for (int i = 0; i < kWeatherCount; ++i)
            if (command.name == WeatherName(Weather(i)))
                good = ApplyRange(command, Weather(i), asked, why);
    }
    if (!good) {
        reply.message = why.isEmpty() ? QStringLiteral("%1 takes numbers").arg(command.name) : why;
        vector.state = State::Alert;
        return action;
    }
    weather_ = asked;
    const QList<Vector> fresh = WeatherVectors(Device(), weather_);
    for (const Vector& v : fresh)
        if (v.name == command.name) vector.elements = v.elements;
    vector.state = State::Ok;
    Judge(reply.changed);
    action.what = Action::Do::Weather;
    action.weather = weather_;
    return action;
}

TDewModel::Action TDewModel::Request(const Command& command) {
    Action action;
    Reply& reply = action.reply;
    if (RequestCommon(command, reply)) return action;
    // WEATHER_PARAMETERS and WEATHER_STATUS are read-only: answered above.
    if (command.name.startsWith(QLatin1StringView("WEATHER_"))) return WeatherRequest(command);
    const bool duty = command.name == kDuty && command.type == Command::Type::NewNumber;
    const bool modes = (command.name == kAuto || command.name == kLinked) &&
                       command.type == Command::Type::NewSwitch;
    if (!duty && !modes) return action;
    const DewValues& v = readings_.values;
    auto refuse = [&](const QString& why) {
        reply.message = why;
        SetState(command.name, State::Alert, reply.changed);
        if (!reply.changed.contains(command.name)) reply.changed << command.name;
        return action;
    };
    // Until the first frame the controller's own settings are unknown; a save would overwrite
    // them with zeros.
    if (!readings_.framed)
        return refuse(QStringLiteral("%1 has sent no reading yet").arg(Device()));
    if (duty) {
        for (const Command::Member& m : command.members) {
            int output = 0;
            for (int o = 1; o <= kOutputs; ++o)
                if (m.name == Channel(o)) output = o;
            int percent = 0;
            QString why;
            if (output == 0) return refuse(QStringLiteral("%1 has no %2").arg(kDuty, m.name));
            if (!WholeNumber(command, m.name, 0, 100, percent, why)) return refuse(why);
            // The sliders set tenths.
            const int slider = int(std::lround(percent / 10.0));
            if (slider * 10 == Out(v, output)) continue;
            const QString locked = OutputRefusal(output, v.Automode == 1, v.OutsLinked == 1);
            if (!locked.isEmpty()) return refuse(locked);
            action.outputs << std::pair{output, slider};
        }
        if (action.outputs.isEmpty()) {
            reply.changed << kDuty;
            return action;
        }
        for (const auto& [output, slider] : action.outputs)
            At(kDuty).Find(Channel(output))->number = slider * 10;
        action.what = Action::Do::Outputs;
    } else {
        Vector asked = At(command.name);
        QString why;
        if (!ApplySwitches(asked, command, why)) return refuse(why);
        action.linked = v.OutsLinked == 1;
        action.automatic = v.Automode == 1;
        action.autoAsked = command.name == kAuto;
        if (command.name == kAuto) {
            // One mode drives outputs 1 and 2, and 3 while linked: any channel asks for it.
            bool any = false;
            for (const Element& e : asked.elements)
                any = any || e.on;
            action.automatic = any;
        } else {
            action.linked = asked.Find(kEnabled)->on;
        }
        if (action.automatic == (v.Automode == 1) && action.linked == (v.OutsLinked == 1)) {
            reply.changed << command.name;
            return action;
        }
        if (command.name == kLinked) At(kLinked).elements = asked.elements;
        action.aggressivityItem = AggressivityItem(v);
        action.what = Action::Do::SaveOutputs;
    }
    At(command.name).state = State::Busy;
    reply.changed << command.name;
    return action;
}

Reply TDewModel::Finished(Action::Do what, const DewReadings& readings, const QString& failure) {
    Reply reply;
    const State state = failure.isEmpty() ? State::Ok : State::Alert;
    if (what == Action::Do::Refresh) {
        At(kWeatherRefresh).elements[0].on = false;
        SetState(kWeatherRefresh, state, reply.changed);
        if (!reply.changed.contains(kWeatherRefresh)) reply.changed << kWeatherRefresh;
    } else if (what == Action::Do::Outputs) {
        SetState(kDuty, state, reply.changed);
    } else {
        SetState(kAuto, state, reply.changed);
        SetState(kLinked, state, reply.changed);
    }
    if (!failure.isEmpty()) reply.message = failure;
    // The values shown are the controller's: the written ones once a frame showed them, the
    // frame's own when the write failed.
    const QStringList updated = Update(readings);
    for (const QString& name : updated)
        if (!reply.changed.contains(name)) reply.changed << name;
    return reply;
}

} // namespace indi
