// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated focuser driven through a real serial link.
#include "SimFocuser.h"
#include "SimTestSupport.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <thread>

namespace {

TFocuserOptions Steady() {
    TFocuserOptions o;
    o.driftPerSecond = 0;
    o.position = 1000;
    return o;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

} // namespace

TEST(SimFocuser, AnswersIdentificationPositionAndTemperature) {
    TSimFocuser focuser(Steady());
    focuser.SetTemperature(-3.25);
    TSimLink port(focuser.Port());

    const QByteArray id = port.Ask("SWHOIS", "\r");
    EXPECT_EQ(id.toStdString(), FocuserIdentification(1321));
    EXPECT_TRUE(id.contains("QLO"));
    EXPECT_EQ(port.Ask("FPOSRO", "\n"), "P=01000\n");
    EXPECT_EQ(port.Ask("FTMPRO", "\n"), "T=-3.25\n");
    // Compensation switches are not answered.
    port.Send("FMMODE");
    port.Send("FAMODE");
    EXPECT_TRUE(focuser.WaitForCommand("FAMODE", 1s));
    EXPECT_EQ(port.ReadFor(100ms), "");
    EXPECT_EQ(focuser.Commands(),
              (std::vector<std::string>{"SWHOIS", "FPOSRO", "FTMPRO", "FMMODE", "FAMODE"}));
}

TEST(SimFocuser, TemperatureDriftsSlowly) {
    TFocuserOptions o = Steady();
    EXPECT_LT(TFocuserOptions().driftPerSecond, 0); // the night cools by default
    o.driftPerSecond = 10;                          // fast enough to see within a test
    TSimFocuser focuser(o);
    TSimLink port(focuser.Port());
    const QRegularExpression line("^T=(-?\\d+\\.\\d+)\n$");
    const auto first = line.match(QString::fromLatin1(port.Ask("FTMPRO", "\n")));
    std::this_thread::sleep_for(200ms);
    const auto second = line.match(QString::fromLatin1(port.Ask("FTMPRO", "\n")));
    ASSERT_TRUE(first.hasMatch());
    ASSERT_TRUE(second.hasMatch());
    EXPECT_GT(second.captured(1).toDouble(), first.captured(1).toDouble() + 1.0);
}

TEST(SimFocuser, OlderModelAnswersOnlyFmmodeWithBang) {
    TFocuserOptions o = Steady();
    o.answersWhoIs = false;
    o.firmware = 1320;
    TSimFocuser focuser(o);
    TSimLink port(focuser.Port());
    port.Send("SWHOIS");
    EXPECT_EQ(port.ReadFor(200ms), "");
    EXPECT_EQ(port.Ask("FMMODE", "\r"), "!\r");
    // No sign flag before firmware 1321: no sign reply, the flag command is ignored.
    port.Send("FZAXX1");
    port.Send("FTAXXA");
    EXPECT_EQ(port.ReadFor(200ms), "");
    EXPECT_EQ(port.Ask("SGETAL", "\n"), "S=0;0;2;010;020;1320;60000\n");
}

TEST(SimFocuser, StoresSettingsAndResetsToFactory) {
    TSimFocuser focuser(Steady());
    TSimLink port(focuser.Port());
    // The settings window's save sequence.
    for (const char* command :
         {"SMO003", "SMROTT", "SMSTPD", "M06000", "FLA015", "FZAXX1", "SMA005"})
        port.Send(command);
    ASSERT_TRUE(focuser.WaitForCommandCount(7, 1s));
    EXPECT_EQ(port.ReadFor(100ms), ""); // setting commands are not answered

    EXPECT_EQ(port.Ask("SGETAL", "\n"), "S=1;1;3;015;005;1321;06000\n");
    EXPECT_EQ(port.Ask("FTAXXA", "\n"), "A=1\n");
    EXPECT_EQ(focuser.Position(), 1000);

    // Lowering the end of travel below the position pulls the position in.
    port.Send("M00500");
    port.Send("SMO004");
    port.Send("SMROTH");
    port.Send("SMSTPF");
    port.Send("FZAXX0");
    EXPECT_EQ(port.Ask("SGETAL", "\n"), "S=0;0;4;015;005;1321;00500\n");
    EXPECT_EQ(focuser.Position(), 500);
    EXPECT_EQ(port.Ask("FTAXXA", "\n"), "A=0\n");

    // Malformed values change nothing; beyond 65535 the end of travel stops there.
    port.Send("FLA1x5");
    port.Send("M99999");
    EXPECT_EQ(port.Ask("SGETAL", "\n"), "S=0;0;4;015;005;1321;65535\n");

    EXPECT_EQ(port.Ask("SEERAZ", "\n"), kFocuserResetDone);
    EXPECT_EQ(focuser.Settings(), TFocuserOptions::FactorySettings());
    EXPECT_EQ(port.Ask("SGETAL", "\n").toStdString(),
              SettingsReply(TFocuserOptions::FactorySettings(), 1321));
}

TEST(SimFocuser, MoveEndsWithMarkAfterTheTimeItsDistanceTakes) {
    TSimFocuser focuser(Steady());
    focuser.SetStepsPerSecond(1000);
    TSimLink port(focuser.Port());

    const auto start = std::chrono::steady_clock::now();
    port.Send("O00500");
    // Half way the position is in between.
    std::this_thread::sleep_for(250ms);
    const int midway = port.Ask("FPOSRO", "\n").mid(2, 5).toInt();
    EXPECT_GT(midway, 1000);
    EXPECT_LT(midway, 1500);
    const QByteArray done = port.ReadUntil([](const QByteArray& t) { return t.contains('*'); }, 5s);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(done, "*");
    EXPECT_GE(elapsed, 450ms); // 500 steps at 1000 steps/s
    EXPECT_LT(elapsed, 3s);
    EXPECT_EQ(port.Ask("FPOSRO", "\n"), "P=01500\n");

    // "Slow" halves the speed: 200 steps take 400 ms.
    port.Send("SMO003");
    const auto slow = std::chrono::steady_clock::now();
    port.Send("I00200");
    EXPECT_EQ(port.ReadUntilEnd("*", 5s), "*");
    EXPECT_GE(std::chrono::steady_clock::now() - slow, 350ms);
    EXPECT_EQ(focuser.Position(), 1300);
}

TEST(SimFocuser, MovesStayWithinTravel) {
    TSimFocuser focuser(Steady());
    focuser.SetStepsPerSecond(100000);
    TSimLink port(focuser.Port());
    EXPECT_EQ(port.Ask("I05000", "*", 5s), "*");
    EXPECT_EQ(focuser.Position(), 0);
    // Seven digits: one command, stopped at the end of travel.
    EXPECT_EQ(port.Ask("O100000", "*", 5s), "*");
    EXPECT_EQ(focuser.Position(), 60000);
    // A move to where it stands is done at once; the blank after the digits is noise.
    EXPECT_EQ(port.Ask("I0000 ", "*", 5s), "*");
    EXPECT_EQ(focuser.Commands(), (std::vector<std::string>{"I05000", "O100000", "I0000"}));
}

TEST(SimFocuser, CompensationFollowsCoefficientSignAndThreshold) {
    TSimFocuser focuser(Steady());
    focuser.SetStepsPerSecond(100000);
    focuser.SetTemperature(10);
    TSimLink port(focuser.Port());
    port.Send("FLA020");
    port.Send("SMA010");
    port.Send("FAMODE");
    ASSERT_TRUE(focuser.WaitForCommand("FAMODE", 1s));
    EXPECT_TRUE(focuser.Compensating());

    // 0.4 degree is 8 steps: below the threshold of 10, nothing moves.
    focuser.SetTemperature(10.4);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(focuser.Position(), 1000);
    // One degree warmer in all: 20 steps out.
    focuser.SetTemperature(11);
    EXPECT_TRUE(WaitFor([&] { return focuser.Position() == 1020 && !focuser.Moving(); }, 2s));
    EXPECT_EQ(port.Ask("FPOSRO", "\n"), "P=01020\n");

    // With the sign flag set, warmer moves in; no completion mark is sent for it.
    port.Send("FZAXX1");
    ASSERT_TRUE(focuser.WaitForCommand("FZAXX1", 1s));
    focuser.SetTemperature(12);
    EXPECT_TRUE(WaitFor([&] { return focuser.Position() == 1000 && !focuser.Moving(); }, 2s));
    EXPECT_EQ(port.ReadFor(100ms), "");

    // Manual mode: temperature changes no longer move it.
    port.Send("FMMODE");
    ASSERT_TRUE(focuser.WaitForCommand("FMMODE", 1s));
    EXPECT_FALSE(focuser.Compensating());
    focuser.SetTemperature(20);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(focuser.Position(), 1000);
}
