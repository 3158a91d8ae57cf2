// The focuser's exchanges with no window at all, against a simulated focuser.
#include "Commands.h"
#include "Focuser.h"
#include "Pause.h"
#include "QtTestSupport.h"
#include "SimFocuser.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <thread>

namespace {
using namespace std::chrono_literals;

class FocuserDevice : public testing::Test {
  protected:
    FocuserDevice() : focuser(1, [this](const QString& line) { log << line; }) {}
    void SetUp() override {
        options.driftPerSecond = 0;
        sim = std::make_unique<TSimFocuser>(options);
        focuser.Open(QString::fromStdString(sim->Port()));
    }
    // Seconds between two recorded commands.
    double Gap(const std::vector<TReceived>& r, std::size_t i) const {
        return std::chrono::duration<double>(r[i].at - r[i - 1].at).count();
    }

    TFocuserOptions options;
    std::unique_ptr<TSimFocuser> sim;
    QStringList log;
    TFocuser focuser;
};

TEST_F(FocuserDevice, GreetingPollsAndRepliesReachTheReadings) {
    int readings = 0;
    QObject::connect(&focuser, &TFocuser::Reading, [&] { ++readings; });
    focuser.TempComp = true;
    focuser.Greet();
    EXPECT_FALSE(focuser.TempComp);
    // Focuser 1's poll drops unread input only: the greeting still on its way gets out.
    focuser.Poll(); // temperature first: the flag starts false
    ASSERT_TRUE(WaitFor([&] { return readings == 1; }, 5000));
    focuser.Poll();
    ASSERT_TRUE(WaitFor([&] { return readings == 2; }, 5000));
    EXPECT_EQ(sim->Commands(), (std::vector<std::string>{"FMMODE", "FTMPRO", "FPOSRO"}));
    EXPECT_EQ(focuser.Position, 30000);
    EXPECT_DOUBLE_EQ(focuser.Temp, 12.0);
    EXPECT_TRUE(log.contains("QLO Tx: FPOSRO"));
    EXPECT_TRUE(focuser.RxBuffer.isEmpty());
}

TEST_F(FocuserDevice, AskReadsTheWholeReplyOnce) {
    int shown = 0;
    focuser::DecodeSettings(focuser.Ask(focuser::kAskSettings),
                            [&](focuser::SettingsField field, int value) {
                                ++shown;
                                if (field == focuser::SettingsField::Firmware) {
                                    EXPECT_EQ(value, sim->Firmware());
                                }
                                if (field == focuser::SettingsField::MaxPosition) {
                                    EXPECT_EQ(value, sim->Settings().maxPosition);
                                }
                            });
    EXPECT_EQ(shown, 7);
    EXPECT_FALSE(focuser::SignFlag(focuser.Ask(focuser::kAskSign)));
}

TEST_F(FocuserDevice, SaveSendsTheSequenceInOrderWithItsPauses) {
    TFocuserSettingsInput s;
    s.speedItem = 1;
    s.reversed = true;
    s.halfSteps = true;
    s.maxPosition = "6000";
    s.coefficient = "1000"; // too long: skipped with its message
    s.sign = true;
    s.threshold = "5";
    focuser.SaveSettings(s);
    ASSERT_TRUE(sim->WaitForCommand("SMA005", 3000ms));
    const std::vector<TReceived> r = sim->Received();
    std::vector<std::string> texts;
    for (const TReceived& one : r)
        texts.push_back(one.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"SMO003", "SMROTT", "SMSTPD", "M06000", "FZAXX1",
                                               "SMA005"}));
    // Every command after the rotation comes after a pause (the rotation follows the speed
    // without one; no upper bound is asserted, a loaded machine may delay anything).
    // Arrival times are taken when the simulator reads: loose per gap, tighter over all.
    for (std::size_t i = 2; i < r.size(); ++i)
        EXPECT_GT(Gap(r, i), 0.05) << texts[i];
    EXPECT_GT(std::chrono::duration<double>(r.back().at - r[1].at).count(), 0.6);
    EXPECT_EQ(log, QStringList{focuser::kThreeDigitMessage});
    EXPECT_EQ(sim->Settings().maxPosition, 6000);
    EXPECT_EQ(sim->Settings().speedCode, 3);
}

TEST_F(FocuserDevice, MoveEndsWithTheMarkOrWithinItsBound) {
    const QString in = QStringLiteral("Erreur lecture ComPortQLO MoveIn :");
    EXPECT_EQ(focuser.Move(focuser::MoveCommand(true, "100"), 10000, "w", in),
              TFocuser::MoveEnd::Done);
    EXPECT_EQ(sim->Position(), 29900);

    // A focuser that never sends the mark: the wait gives up after its limit of pauses.
    TFaults quiet;
    quiet.silent = true;
    sim->SetFaults(quiet);
    int paused = 0;
    const PauseFn previous = SetPause([&](int ms) { paused += ms; });
    EXPECT_EQ(focuser.Move(focuser::MoveCommand(false, "10"), 3000, "w", in),
              TFocuser::MoveEnd::TimedOut);
    EXPECT_EQ(paused, 3000);

    // Unplugged mid-move: the wait ends at the next read.
    paused = 0;
    SetPause([&](int ms) {
        paused += ms;
        if (paused == 1000) sim->Unplug();
    });
    EXPECT_EQ(focuser.Move(focuser::MoveCommand(false, "10"), 600000, "w", in),
              TFocuser::MoveEnd::LinkLost);
    EXPECT_LE(paused, 1500);
    SetPause(previous);
}

TEST_F(FocuserDevice, CloseLeavesTheFocuserInManualMode) {
    focuser.SetTempComp(true, "w"); // FAMODE
    focuser.Close();
    EXPECT_FALSE(focuser.Connected());
    ASSERT_TRUE(sim->WaitForCommand("FMMODE", 3000ms, 1));
    EXPECT_EQ(sim->Commands().back(), "FMMODE");
    EXPECT_EQ(focuser.CloseLogLine(), "Close QLO Port");
}

} // namespace
