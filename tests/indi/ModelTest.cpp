// SPDX-License-Identifier: GPL-3.0-or-later
// The accessories as INDI properties: a client's new values turned into the devices'
// operations or refused, one table per device kind, and what the writer makes of a vector.
#include "DewModel.h"
#include "FocuserModel.h"
#include "Weather.h"
#include "Writer.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using indi::Command;
using indi::State;

Command New(Command::Type type, const char* name, QList<Command::Member> members) {
    Command c;
    c.type = type;
    c.device = QStringLiteral("Quillo 1");
    c.name = QLatin1StringView(name);
    c.members = std::move(members);
    return c;
}
Command Number(const char* name, const char* member, const char* value) {
    return New(Command::Type::NewNumber, name,
               {{QLatin1StringView(member), QLatin1StringView(value)}});
}
Command Switch(const char* name, QList<Command::Member> members) {
    return New(Command::Type::NewSwitch, name, std::move(members));
}

// "ABS_FOCUS_POSITION=Busy REL_FOCUS_POSITION=Busy": the vectors to send, with their states.
QString Sent(const indi::TDeviceModel& model, const indi::Reply& reply) {
    static const char* states[] = {"Idle", "Ok", "Busy", "Alert"};
    QStringList out;
    for (const QString& name : reply.changed)
        out << name + QChar('=') + QLatin1StringView(states[int(model.Find(name)->state)]);
    return out.join(QChar(' '));
}

} // namespace

// The focuser's own move rules, for a focuser with these readings.
indi::TFocuserModel::MoveRefusal RulesFor(const indi::FocuserReadings& r, std::optional<int> max) {
    return [=](const focuser::TMoveAsk& ask) -> std::optional<QString> {
        const focuser::TMoveState state{
            true, r.tempComp, r.positionKnown ? std::optional<int>(r.position) : std::nullopt, max};
        if (const auto refused = focuser::Refusal(ask, state, QStringLiteral("Quillo 1")))
            return refused->why;
        return std::nullopt;
    };
}

// "to 30500", "in 200", "out 200", "compensation on", "" for nothing asked of the focuser.
std::string Asked(const indi::TFocuserModel::Action& a) {
    using Do = indi::TFocuserModel::Action::Do;
    switch (a.what) {
    case Do::Nothing:
        return "";
    case Do::Move:
        return (a.in ? "in " : "out ") + std::to_string(a.steps);
    case Do::MoveTo:
        return "to " + std::to_string(a.target);
    case Do::TempComp:
        return a.on ? "compensation on" : "compensation off";
    }
    return "?";
}

TEST(IndiFocuser, ClientValuesBecomeMovesOrAreRefused) {
    const indi::FocuserReadings at30000{30000, 12.5, false, true};
    const indi::FocuserReadings at100{100, 12.5, false, true};
    const indi::FocuserReadings unknown{0, 12.5, false, false};
    const indi::FocuserReadings compensating{30000, 12.5, true, true};
    const auto abs = [](const char* v) {
        return Number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", v);
    };
    const auto rel = [](const char* v) {
        return Number("REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION", v);
    };
    const Command outward = Switch("FOCUS_MOTION", {{"FOCUS_OUTWARD", "On"}});
    const char* both = "REL_FOCUS_POSITION=Busy ABS_FOCUS_POSITION=Busy";
    const struct Case {
        const char* rule;
        indi::FocuserReadings readings;
        QList<Command> before; // accepted first
        Command command;
        const char* asked;
        const char* sent;
        const char* message; // part of it; "" for none
    } cases[] = {
        {"an absolute target is a move to it, Busy at once",
         at30000,
         {},
         abs("30500"),
         "to 30500",
         "ABS_FOCUS_POSITION=Busy",
         ""},
        {"a fraction is rounded",
         at30000,
         {},
         abs("29899.6"),
         "to 29900",
         "ABS_FOCUS_POSITION=Busy",
         ""},
        {"the current position is reached at once",
         at30000,
         {},
         abs("30000"),
         "",
         "ABS_FOCUS_POSITION=Ok",
         ""},
        {"behind another move the current position is a move too",
         at30000,
         {abs("30100")},
         abs("30000"),
         "to 30000",
         "ABS_FOCUS_POSITION=Busy",
         ""},
        {"a second move waits behind the first",
         at30000,
         {rel("100")},
         abs("30200"),
         "to 30200",
         "ABS_FOCUS_POSITION=Busy",
         ""},
        {"a target past the maximum position is refused",
         at30000,
         {},
         abs("60001"),
         "",
         "ABS_FOCUS_POSITION=Alert",
         "from 0 to 60000"},
        {"a target that is no number is refused",
         at30000,
         {},
         abs("far"),
         "",
         "ABS_FOCUS_POSITION=Alert",
         "needs a number"},
        {"no absolute move before the first position reply",
         unknown,
         {},
         abs("100"),
         "",
         "ABS_FOCUS_POSITION=Alert",
         "not reported its position"},
        {"no move while the temperature compensation runs",
         compensating,
         {},
         abs("30100"),
         "",
         "ABS_FOCUS_POSITION=Alert",
         "compensation"},
        {"a relative move goes in by default, both positions Busy",
         at30000,
         {},
         rel("200"),
         "in 200",
         both,
         ""},
        {"the direction chosen before holds", at30000, {outward}, rel("200"), "out 200", both, ""},
        {"a relative move past the travel's end is refused",
         at100,
         {},
         rel("200"),
         "",
         "REL_FOCUS_POSITION=Alert",
         "would leave its travel"},
        {"more steps than a move takes are refused",
         at30000,
         {},
         rel("65536"),
         "",
         "REL_FOCUS_POSITION=Alert",
         "from 0 to 65535"},
        {"a direction needs exactly one switch",
         at30000,
         {},
         Switch("FOCUS_MOTION", {{"FOCUS_INWARD", "On"}, {"FOCUS_OUTWARD", "On"}}),
         "",
         "FOCUS_MOTION=Ok",
         "takes one switch"},
        {"compensation on is the focuser's FAMODE",
         at30000,
         {},
         Switch("FOCUS_TEMPERATURE_COMPENSATION", {{"INDI_ENABLED", "On"}}),
         "compensation on",
         "FOCUS_TEMPERATURE_COMPENSATION=Busy",
         ""},
        {"compensation already off writes nothing",
         at30000,
         {},
         Switch("FOCUS_TEMPERATURE_COMPENSATION", {{"INDI_DISABLED", "On"}}),
         "",
         "FOCUS_TEMPERATURE_COMPENSATION=Ok",
         ""},
        {"DISCONNECT leaves the link to Skyvarn",
         at30000,
         {},
         Switch("CONNECTION", {{"DISCONNECT", "On"}}),
         "",
         "CONNECTION=Ok",
         "stays connected"},
        {"read-only properties are not set",
         at30000,
         {},
         Number("FOCUS_MAX", "FOCUS_MAX_VALUE", "100"),
         "",
         "",
         "cannot be set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        indi::TFocuserModel model(QStringLiteral("Quillo 1"), QStringLiteral("/dev/ttyUSB0"), 60000,
                                  c.readings);
        const auto rules = RulesFor(c.readings, 60000);
        for (const Command& b : c.before)
            model.Request(b, rules);
        const auto action = model.Request(c.command, rules);
        EXPECT_EQ(Asked(action), c.asked);
        EXPECT_EQ(Sent(model, action.reply).toStdString(), c.sent);
        EXPECT_EQ(action.reply.message.isEmpty(), *c.message == 0)
            << action.reply.message.toStdString();
        EXPECT_TRUE(action.reply.message.contains(QLatin1StringView(c.message)))
            << action.reply.message.toStdString();
    }
}

TEST(IndiFocuser, AMoveEndsOkAtItsTargetOrAlertWithWhy) {
    using End = indi::TFocuserModel::End;
    const indi::FocuserReadings readings{30000, 12.5, false, true};
    const struct {
        End end;
        const char* sent;
        double value;
        const char* message;
    } cases[] = {
        {End::Done, "ABS_FOCUS_POSITION=Ok REL_FOCUS_POSITION=Ok", 29800, ""},
        {End::TimedOut, "ABS_FOCUS_POSITION=Alert REL_FOCUS_POSITION=Alert", 30000,
         "did not report the end"},
        {End::LinkLost, "ABS_FOCUS_POSITION=Alert REL_FOCUS_POSITION=Alert", 30000,
         "link was lost"},
        {End::Failed, "ABS_FOCUS_POSITION=Alert REL_FOCUS_POSITION=Alert", 30000,
         "move failed: no position"},
    };
    for (const auto& c : cases) {
        indi::TFocuserModel model(QStringLiteral("Quillo 1"), QString(), std::nullopt, readings);
        const auto move =
            model.Request(Number("REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION", "200"),
                          RulesFor(readings, std::nullopt));
        // Sent again while it runs, and given as long as the longest move takes.
        EXPECT_EQ(model.Moving(), (QStringList{"ABS_FOCUS_POSITION", "REL_FOCUS_POSITION"}));
        EXPECT_GE(model.Find("ABS_FOCUS_POSITION")->timeout, 1321);
        // The focuser's own end of move comes first, and changes nothing of a client's move.
        EXPECT_TRUE(model.MoveEnded().isEmpty());
        const indi::Reply reply = model.MoveFinished(move, c.end, QStringLiteral("no position"));
        EXPECT_EQ(Sent(model, reply).toStdString(), c.sent);
        EXPECT_EQ(model.Find("ABS_FOCUS_POSITION")->elements[0].number, c.value);
        EXPECT_TRUE(reply.message.contains(QLatin1StringView(c.message)));
        // The polled position, not yet the new one, does not undo the target.
        model.Update(readings);
        EXPECT_EQ(model.Find("ABS_FOCUS_POSITION")->elements[0].number, c.value);
    }

    // Moves queued by two clients: Busy until the last has ended, each at its own target.
    indi::TFocuserModel model(QStringLiteral("Quillo 1"), QString(), 60000, readings);
    const auto first =
        model.Request(Number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", "30500"),
                      RulesFor(readings, 60000));
    const auto second = model.Request(
        Number("REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION", "100"), RulesFor(readings, 60000));
    EXPECT_EQ(Sent(model, model.MoveFinished(first, End::Done)).toStdString(),
              "ABS_FOCUS_POSITION=Busy");
    EXPECT_EQ(model.Find("ABS_FOCUS_POSITION")->elements[0].number, 30500);
    EXPECT_EQ(Sent(model, model.MoveFinished(second, End::Done)).toStdString(),
              "ABS_FOCUS_POSITION=Ok REL_FOCUS_POSITION=Ok");
    EXPECT_EQ(model.Find("ABS_FOCUS_POSITION")->elements[0].number, 30400);

    // Without the settings the five-digit field bounds the moves, and FOCUS_MAX says so.
    indi::TFocuserModel unread(QStringLiteral("Quillo 1"), QString(), std::nullopt, readings);
    EXPECT_EQ(unread.Find("FOCUS_MAX")->state, State::Alert);
    EXPECT_EQ(unread.Find("ABS_FOCUS_POSITION")->elements[0].max, 99999);

    // Nothing is Ok before it was measured on this connection.
    indi::FocuserReadings fresh;
    indi::TFocuserModel connected(QStringLiteral("Quillo 1"), QString(), 60000, fresh);
    EXPECT_EQ(connected.Find("FOCUS_TEMPERATURE")->state, State::Idle);
    EXPECT_EQ(connected.Find("ABS_FOCUS_POSITION")->state, State::Idle);
    fresh.temperatureKnown = true;
    connected.Update(fresh);
    EXPECT_EQ(connected.Find("FOCUS_TEMPERATURE")->state, State::Ok);
    EXPECT_EQ(connected.Find("ABS_FOCUS_POSITION")->state, State::Idle);
}

TEST(IndiDew, OutputsAndModesBecomeTheSlidersAndSavesOrAreRefused) {
    using Do = indi::TDewModel::Action::Do;
    indi::DewReadings manual;
    manual.values.Out1 = 40;
    manual.values.Aggressive = 2;
    manual.framed = true;
    indi::DewReadings automatic = manual;
    automatic.values.Automode = 1;
    automatic.owned[0] = automatic.owned[1] = true;
    indi::DewReadings linked = manual;
    linked.values.OutsLinked = 1;
    const auto duty = [](QList<Command::Member> m) {
        return New(Command::Type::NewNumber, "DEW_DUTY_CYCLES", std::move(m));
    };
    const struct Case {
        const char* rule;
        indi::DewReadings readings;
        Command command;
        Do what;
        QList<std::pair<int, int>> outputs;
        bool automatic, linked;
        const char* sent;
        const char* message;
    } cases[] = {
        {"a duty cycle is sent as the slider sends it, to the nearest tenth",
         manual,
         duty({{"DEW_CHANNEL_2", "66"}}),
         Do::Outputs,
         {{2, 7}},
         false,
         false,
         "DEW_DUTY_CYCLES=Busy",
         ""},
        {"unchanged outputs are not sent again",
         manual,
         duty({{"DEW_CHANNEL_1", "40"}, {"DEW_CHANNEL_3", "100"}}),
         Do::Outputs,
         {{3, 10}},
         false,
         false,
         "DEW_DUTY_CYCLES=Busy",
         ""},
        {"an output of the automatic mode is refused",
         automatic,
         duty({{"DEW_CHANNEL_1", "80"}}),
         Do::Nothing,
         {},
         false,
         false,
         "DEW_DUTY_CYCLES=Alert",
         "automatic mode"},
        {"an output apart from the automatic mode is sent",
         automatic,
         duty({{"DEW_CHANNEL_1", "40"}, {"DEW_CHANNEL_3", "20"}}),
         Do::Outputs,
         {{3, 2}},
         false,
         false,
         "DEW_DUTY_CYCLES=Busy",
         ""},
        {"output 3 follows output 2 while they are linked",
         linked,
         duty({{"DEW_CHANNEL_3", "30"}}),
         Do::Nothing,
         {},
         false,
         false,
         "DEW_DUTY_CYCLES=Alert",
         "follows output 2"},
        {"more than full power is refused",
         manual,
         duty({{"DEW_CHANNEL_1", "101"}}),
         Do::Nothing,
         {},
         false,
         false,
         "DEW_DUTY_CYCLES=Alert",
         "from 0 to 100"},
        {"nothing is written before the first frame",
         indi::DewReadings{},
         duty({{"DEW_CHANNEL_1", "10"}}),
         Do::Nothing,
         {},
         false,
         false,
         "DEW_DUTY_CYCLES=Alert",
         "no reading yet"},
        {"any channel of the automatic control starts the automatic mode, aggressivity kept",
         manual,
         New(Command::Type::NewSwitch, "AUTO_DEW_CONTROL", {{"DEW_CHANNEL_2", "On"}}),
         Do::SaveOutputs,
         {},
         true,
         false,
         "AUTO_DEW_CONTROL=Busy",
         ""},
        {"all channels off stop it",
         automatic,
         New(Command::Type::NewSwitch, "AUTO_DEW_CONTROL",
             {{"DEW_CHANNEL_1", "Off"}, {"DEW_CHANNEL_2", "Off"}}),
         Do::SaveOutputs,
         {},
         false,
         false,
         "AUTO_DEW_CONTROL=Busy",
         ""},
        {"linking saves the outputs with the mode as it is",
         automatic,
         New(Command::Type::NewSwitch, "DEW_OUTPUTS_LINKED", {{"INDI_ENABLED", "On"}}),
         Do::SaveOutputs,
         {},
         true,
         true,
         "DEW_OUTPUTS_LINKED=Busy",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        indi::TDewModel model(QStringLiteral("Brisella"), QString(), c.readings);
        Command command = c.command;
        command.device = QStringLiteral("Brisella");
        const auto action = model.Request(command);
        EXPECT_EQ(action.what, c.what);
        EXPECT_EQ(action.outputs, c.outputs);
        if (c.what == Do::SaveOutputs) {
            EXPECT_EQ(action.automatic, c.automatic);
            EXPECT_EQ(action.linked, c.linked);
            EXPECT_EQ(action.aggressivityItem, 1);
        }
        EXPECT_EQ(Sent(model, action.reply).toStdString(), c.sent);
        EXPECT_TRUE(action.reply.message.contains(QLatin1StringView(c.message)))
            << action.reply.message.toStdString();
    }
}

TEST(IndiDew, ReadingsAreShownAsTheMainWindowShowsThem) {
    indi::DewReadings r;
    r.values.AmbTemp = 7.5;
    r.values.CalTA = 1;
    r.values.LocTemp1 = 5;
    r.values.CalT1 = -2;
    r.values.Humidity = 75.4;
    r.values.Dewpoint = 3.82;
    indi::TDewModel model(QStringLiteral("Brisella"), QString(), r);
    EXPECT_EQ(model.Find("WEATHER_PARAMETERS")->state, State::Idle); // no frame yet
    r.framed = true;
    const QStringList changed = model.Update(r);
    EXPECT_TRUE(changed.contains("WEATHER_PARAMETERS"));
    const indi::Vector& w = *model.Find("WEATHER_PARAMETERS");
    EXPECT_EQ(w.state, State::Ok);
    EXPECT_EQ(w.Find("WEATHER_TEMPERATURE")->number, 8.5);
    EXPECT_EQ(w.Find("WEATHER_HUMIDITY")->number, 75.4);
    EXPECT_EQ(w.Find("WEATHER_DEWPOINT")->number, 3.82);
    EXPECT_EQ(model.Find("PROBE_TEMPERATURES")->Find("PROBE_1")->number, 3);
}

// What the writer makes of a vector reads back as the same vector, escapes included.
TEST(IndiWriter, VectorsReadBackWhole) {
    indi::TFocuserModel model(QStringLiteral("Quillo <1> & \"2\""), QStringLiteral("/dev/tty'0"),
                              60000, {30000, 12.5, false, true});
    const QDateTime when = QDateTime::fromString("2024-03-01T21:04:05Z", Qt::ISODate);
    for (const indi::Vector& v : model.Vectors()) {
        for (bool define : {true, false}) {
            QXmlStreamReader xml(define ? indi::DefVector(v, when, "a \"quote\"")
                                        : indi::SetVector(v, when));
            ASSERT_TRUE(xml.readNextStartElement()) << v.name.toStdString();
            EXPECT_EQ(xml.attributes().value("device"), v.device);
            EXPECT_EQ(xml.attributes().value("name"), v.name);
            EXPECT_EQ(xml.attributes().value("timestamp"), QStringLiteral("2024-03-01T21:04:05"));
            if (define) EXPECT_EQ(xml.attributes().value("message"), QStringLiteral("a \"quote\""));
            int members = 0;
            while (xml.readNextStartElement()) {
                const indi::Element* e = v.Find(xml.attributes().value("name").toString());
                ASSERT_NE(e, nullptr);
                const QString text = xml.readElementText();
                if (v.kind == indi::Kind::Text) EXPECT_EQ(text, e->text);
                if (v.kind == indi::Kind::Number) EXPECT_EQ(text.toDouble(), e->number);
                if (v.kind == indi::Kind::Switch) EXPECT_EQ(text, e->on ? "On" : "Off");
                ++members;
            }
            EXPECT_EQ(members, v.elements.size());
            EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        }
    }
    QXmlStreamReader del(indi::DelProperty(QStringLiteral("Brisella"), {}, when));
    ASSERT_TRUE(del.readNextStartElement());
    EXPECT_EQ(del.name(), QStringLiteral("delProperty"));
    EXPECT_FALSE(del.attributes().hasAttribute("name"));
}

// A weather light against its range: Ok inside, a warning near an edge that is not 0, an alert
// outside; the defaults of a dew heater's user.
TEST(WeatherLights, JudgeEachParameterAgainstItsRange) {
    using indi::State;
    const indi::WeatherSettings defaults;
    const struct {
        indi::Weather parameter;
        double value;
        State light;
    } cases[] = {
        {indi::Weather::Humidity, 0, State::Ok},
        {indi::Weather::Humidity, 80, State::Ok},
        {indi::Weather::Humidity, 81, State::Busy},
        {indi::Weather::Humidity, 90.5, State::Alert},
        {indi::Weather::DewMargin, 10, State::Ok},
        {indi::Weather::DewMargin, 4.9, State::Busy},
        {indi::Weather::DewMargin, 1.9, State::Alert},
        {indi::Weather::Temperature, 35, State::Busy},
    };
    for (const auto& c : cases)
        EXPECT_EQ(indi::Judge(defaults.ranges[size_t(c.parameter)], c.value), c.light)
            << indi::WeatherName(c.parameter).toStdString() << " " << c.value;
}
