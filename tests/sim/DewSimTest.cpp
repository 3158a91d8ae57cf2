// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated dew controller driven through a real serial link.
#include "DeviceNumbers.h"
#include "SimDew.h"
#include "SimTestSupport.h"

#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

namespace {

TDewOptions Steady() {
    TDewOptions o;
    o.ambientDriftPerSecond = 0;
    o.humidityDriftPerSecond = 0;
    o.timeScale = 0; // nothing moves unless a test says so
    return o;
}

struct TFrame {
    std::vector<double> fields;
};

// The frame as the program reads it: "##", sixteen fields separated by "/", "**".
std::optional<TFrame> ParseFrame(const QByteArray& text) {
    static const QRegularExpression frame("^##((?:-?\\d+(?:\\.\\d+)?/){15}-?\\d+)\\*\\*$");
    const auto match = frame.match(QString::fromLatin1(text));
    if (!match.hasMatch()) return std::nullopt;
    TFrame f;
    for (const auto& field : match.captured(1).split('/'))
        f.fields.push_back(field.toDouble());
    return f;
}

TFrame AskFrame(TSimLink& port) {
    const QByteArray text = port.Ask("SGETAL", "**");
    const auto frame = ParseFrame(text);
    EXPECT_TRUE(frame) << text.toStdString();
    return frame.value_or(TFrame{std::vector<double>(16, -999)});
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

} // namespace

TEST(SimDew, IdentifiesWithBrsAndFirmware) {
    TSimDewController dew(Steady());
    TSimLink port(dew.Port());
    const QByteArray id = port.Ask("SWHOIS", "\r");
    EXPECT_TRUE(id.contains("BRS"));
    // The program takes the text between the first "(" and the first ")".
    EXPECT_EQ(id.mid(id.indexOf('(') + 1, id.indexOf(')') - id.indexOf('(') - 1), "12");
    EXPECT_FALSE(id.contains("QLO") || id.contains('!') || id.contains("PANPRI"));
}

TEST(SimDew, FrameHoldsSixteenFieldsWithMagnusDewPoint) {
    TSimDewController dew(Steady());
    dew.SetAmbient(18);
    dew.SetHumidity(65.2);
    dew.SetProbe(1, 21.5);
    dew.SetProbe(2, -0.75);
    TSimLink port(dew.Port());
    const QByteArray text = port.Ask("SGETAL", "**");
    EXPECT_EQ(text.toStdString(), "##21.50/-0.75/18.00/65.2/" + FixedText(DewPoint(18, 65.2), 2) +
                                      "/0/0/0/0/0/0/2/2/0/0/2**");
    EXPECT_LE(text.size(), 80); // one read of the program takes it whole
    const TFrame f = AskFrame(port);
    EXPECT_NEAR(f.fields[4], DewPoint(f.fields[2], f.fields[3]), 0.01);
}

TEST(SimDew, TemperaturesAndHumidityDrift) {
    TDewOptions o = Steady();
    o.timeScale = 600; // ten simulated minutes per second
    o.ambientDriftPerSecond = -2.0 / 3600;
    o.humidityDriftPerSecond = 6.0 / 3600;
    TSimDewController dew(o);
    TSimLink port(dew.Port());
    const TFrame before = AskFrame(port);
    std::this_thread::sleep_for(500ms);
    const TFrame after = AskFrame(port);
    EXPECT_LT(after.fields[2], before.fields[2]);
    EXPECT_GT(after.fields[3], before.fields[3]);
    EXPECT_LT(after.fields[0], before.fields[0]);     // the probes follow the ambient
    EXPECT_GT(after.fields[4], before.fields[4] - 1); // damper air: the dew point keeps up
}

TEST(SimDew, SettingCommandsAreAcknowledgedAndReported) {
    TSimDewController dew(Steady());
    TSimLink port(dew.Port());
    const auto set = [&](const char* command) { return port.Ask(command, "\n"); };

    EXPECT_EQ(set("S1O040"), kDewDone);
    EXPECT_EQ(set("S3O100"), kDewDone);
    EXPECT_EQ(set("SCA309"), kDewDone);
    EXPECT_EQ(set("STHR25"), kDewDone);
    EXPECT_EQ(set("SAGGR3"), kDewDone);
    TFrame f = AskFrame(port);
    EXPECT_EQ(std::vector<double>(f.fields.begin() + 5, f.fields.end()),
              (std::vector<double>{40, 0, 100, 3, 0, 9, 2, 5, 0, 0, 3}));

    // Linked: output 3 follows output 2 and refuses settings of its own.
    EXPECT_EQ(set("SLINK1"), kDewDone);
    EXPECT_EQ(set("S2O070"), kDewDone);
    EXPECT_EQ(set("S3O010"), kDewDone);
    f = AskFrame(port);
    EXPECT_EQ(f.fields[6], 70);
    EXPECT_EQ(f.fields[7], 70);
    EXPECT_EQ(f.fields[14], 1);

    // Malformed commands are refused and change nothing.
    EXPECT_EQ(set("SAGGR7"), kDewError);
    EXPECT_EQ(set("SCA3x9"), kDewError);
    EXPECT_EQ(dew.Settings().aggressivity, 3);
    EXPECT_EQ(dew.Settings().calibration, (std::array<int, 3>{3, 0, 9}));

    EXPECT_EQ(set("SEERAZ"), kDewDone);
    EXPECT_EQ(dew.Settings(), TDewOptions::FactorySettings());
    f = AskFrame(port);
    EXPECT_EQ(std::vector<double>(f.fields.begin() + 5, f.fields.end()),
              (std::vector<double>{0, 0, 0, 0, 0, 0, 2, 2, 0, 0, 2}));
}

TEST(SimDew, AutomaticModeKeepsProbesAboveDewPointPlusThreshold) {
    TSimDewController dew(Steady());
    dew.SetAmbient(10);
    dew.SetHumidity(99); // dew point just below ambient, probes 2 degrees below it
    TSimLink port(dew.Port());
    for (const char* command : {"SLINK1", "SAGGR4", "STHR12", "SAUTO1"})
        EXPECT_EQ(port.Ask(command, "\n"), kDewDone);
    // Automatic mode owns outputs 1 and 2.
    EXPECT_EQ(port.Ask("S1O090", "\n"), kDewDone);
    EXPECT_EQ(dew.Output(1), 0);

    dew.SetTimeScale(30);
    const auto warm = [&](int i) {
        const auto r = dew.Readings();
        return r.probe[i - 1] + dew.Settings().calibration[i - 1] >=
               r.dewPoint + dew.Settings().threshold[i - 1];
    };
    EXPECT_TRUE(WaitFor([&] { return warm(1) && warm(2); }, 20s));
    TFrame f = AskFrame(port);
    EXPECT_GT(f.fields[5], 0);
    EXPECT_GT(f.fields[6], 0);
    EXPECT_EQ(f.fields[7], f.fields[6]); // linked

    // Dry air: the heat is no longer needed and the outputs come down.
    dew.SetHumidity(20);
    EXPECT_TRUE(WaitFor([&] { return dew.Output(1) == 0 && dew.Output(2) == 0; }, 20s));
    f = AskFrame(port);
    EXPECT_EQ(f.fields[5], 0);
    EXPECT_EQ(f.fields[7], 0);

    // Manual mode again: the outputs are the user's.
    EXPECT_EQ(port.Ask("SAUTO0", "\n"), kDewDone);
    EXPECT_EQ(port.Ask("S1O090", "\n"), kDewDone);
    EXPECT_EQ(dew.Output(1), 90);
}

TEST(SimDew, AggressivitySetsTheRateOfChange) {
    // Probes far below their target: automatic mode raises the outputs at its full rate,
    // 100 % in 300 simulated seconds at aggressivity 1 and in 30 at aggressivity 4.
    for (const auto& [command, fullSwing] : {std::pair{"SAGGR1", 300.0}, {"SAGGR4", 30.0}}) {
        TSimDewController dew(Steady());
        dew.SetHumidity(99);
        TSimLink port(dew.Port());
        EXPECT_EQ(port.Ask(command, "\n"), kDewDone);
        EXPECT_EQ(port.Ask("SAUTO1", "\n"), kDewDone);
        // The clock changes somewhere inside each call: bracket both.
        using Clock = std::chrono::steady_clock;
        const auto startBefore = Clock::now();
        dew.SetTimeScale(20);
        const auto startAfter = Clock::now();
        std::this_thread::sleep_for(300ms);
        const auto endBefore = Clock::now();
        dew.SetTimeScale(0);
        const auto endAfter = Clock::now();
        const auto percent = [&](Clock::duration real) {
            return 100 * 20 * std::chrono::duration<double>(real).count() / fullSwing;
        };
        EXPECT_GE(dew.Output(1), percent(endBefore - startAfter) - 1e-6) << command;
        EXPECT_LE(dew.Output(1), percent(endAfter - startBefore) + 1e-6) << command;
        EXPECT_NEAR(dew.Output(2), dew.Output(1), 1e-9);
    }
}
