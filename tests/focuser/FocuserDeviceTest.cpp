// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser's exchanges with no window at all, against a simulated focuser.
#include "Commands.h"
#include "Focuser.h"
#include "QtTestSupport.h"
#include "SimFocuser.h"
#include "Waits.h"

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
    // Greeted and polled once, as Connect All leaves it: offered to clients. What that sent is
    // forgotten.
    void Offer() {
        focuser.Greet();
        focuser.Poll();
        ASSERT_TRUE(WaitFor([&] { return focuser.Ready() && !focuser.Engaged(); }, 5000));
        ASSERT_TRUE(sim->WaitForCommand("FTMPRO", 3000ms));
        sim->ClearReceived();
        log.clear();
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
    EXPECT_FALSE(focuser.Ready());  // greeted, not polled yet
    focuser.Poll();                 // temperature first: the flag starts false
    EXPECT_TRUE(focuser.Engaged()); // the poll holds the turn until its reply came
    EXPECT_FALSE(focuser.Busy());   // but holds no client's buttons
    ASSERT_TRUE(WaitFor([&] { return readings == 1; }, 5000));
    ASSERT_TRUE(WaitFor([&] { return focuser.Ready() && !focuser.Engaged(); }, 5000));
    focuser.Poll();
    ASSERT_TRUE(WaitFor([&] { return readings == 2; }, 5000));
    EXPECT_EQ(sim->Commands(), (std::vector<std::string>{"FMMODE", "FTMPRO", "FPOSRO"}));
    EXPECT_EQ(focuser.Position, 30000);
    EXPECT_DOUBLE_EQ(focuser.Temp, 12.0);
    EXPECT_TRUE(log.contains("QLO Tx: FPOSRO"));
    EXPECT_TRUE(focuser.RxBuffer.isEmpty());
}

TEST_F(FocuserDevice, ReadSettingsReadsTheSignAndTheWholeReply) {
    const TFocuser::SettingsRead read = Await(focuser.ReadSettings());
    EXPECT_EQ(read.sign, std::optional<bool>(false));
    const focuser::TFocuserSettings settings = focuser::SettingsOf(read.reply);
    EXPECT_EQ(settings.firmware, sim->Firmware());
    EXPECT_EQ(settings.maxPosition, sim->Settings().maxPosition);
    EXPECT_EQ(sim->Commands(), (std::vector<std::string>{"FTAXXA", "SGETAL"}));
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
    Await(focuser.SaveSettings(s));
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
    Offer();
    EXPECT_EQ(Await(focuser.Move(focuser::TMoveAsk::By(true, 100))), TFocuser::MoveEnd::Done);
    EXPECT_EQ(sim->Position(), 29900);

    // A focuser that never sends the mark: the wait gives up after its bound of 10 s plus the
    // steps at 50 steps/s.
    TFaults quiet;
    quiet.silent = true;
    sim->SetFaults(quiet);
    int paused = 0;
    const PauseFn previous = SetPause([&](int ms) {
        paused += ms;
        return 0;
    });
    EXPECT_EQ(Await(focuser.Move(focuser::TMoveAsk::By(false, 100))), TFocuser::MoveEnd::TimedOut);
    EXPECT_EQ(paused, 12000);
    EXPECT_TRUE(log.last().startsWith("Erreur fin de mouvement ComPortQLO MoveOut :no \"*\""));

    // Unplugged mid-move: the wait ends at the next read, whatever its bound.
    paused = 0;
    SetPause([&](int ms) {
        paused += ms;
        if (paused == 1000) sim->Unplug();
        return paused >= 1000 ? ms : 0;
    });
    EXPECT_EQ(Await(focuser.Move(focuser::TMoveAsk::By(false, 65535)), 20000),
              TFocuser::MoveEnd::LinkLost);
    EXPECT_LE(paused, 2000);
    EXPECT_EQ(log.last(), "Erreur fin de mouvement ComPortQLO MoveOut :link lost");
    SetPause(previous);
}

// One exchange at a time: a second one waits its turn, a poll that falls due is skipped, and a
// close ends the running exchange and the queued one at once.
TEST_F(FocuserDevice, ExchangesTakeTurnsAndACloseEndsThem) {
    Offer();
    // about 5 s at the sim
    QCoro::Task<TFocuser::MoveEnd> move = focuser.Move(focuser::TMoveAsk::By(true, 2000));
    ASSERT_TRUE(focuser.Busy());
    QCoro::Task<> comp = focuser.SetTempComp(true);
    EXPECT_TRUE(focuser.TempComp); // shown at once, sent in its turn
    focuser.Poll();
    ASSERT_TRUE(sim->WaitForCommand("I02000", 3000ms));
    Pump(600);
    EXPECT_EQ(sim->Commands(), std::vector<std::string>{"I02000"});

    bool moveEnded = false, compEnded = false, cancelled = false;
    auto watch = [](QCoro::Task<TFocuser::MoveEnd> m, QCoro::Task<> c, bool& mEnd, bool& cEnd,
                    bool& cancel) -> QCoro::Task<> {
        try {
            co_await std::move(m);
        } catch (const TCancelled&) {
            cancel = true;
        }
        mEnd = true;
        try {
            co_await std::move(c);
        } catch (const TCancelled&) {
        }
        cEnd = true;
    }(std::move(move), std::move(comp), moveEnded, compEnded, cancelled);
    focuser.Close(); // FMMODE, then the link closes
    EXPECT_TRUE(moveEnded);
    EXPECT_TRUE(compEnded);
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(focuser.Busy());
    ASSERT_TRUE(sim->WaitForCommand("FMMODE", 3000ms));
    Pump(200);
    EXPECT_EQ(sim->Commands(), (std::vector<std::string>{"I02000", "FMMODE"}));

    // Asked while the link is closed: refused at once, nothing waits for the next connection.
    bool refused = false;
    [](TFocuser& f, bool& refused) -> QCoro::Task<> {
        try {
            co_await f.Move(focuser::TMoveAsk::By(true, 10));
        } catch (const Failure& e) {
            refused = e.Message() == "Quillo 1 is not connected";
        }
    }(focuser, refused);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(focuser.Engaged());
}

// A slow focuser: the poll's reply comes after the exchange asked right behind it was queued,
// and that exchange still reads only its own reply.
TEST_F(FocuserDevice, AGoToAskedRightAfterAPollReadsItsOwnPosition) {
    Offer();
    focuser.Poll(); // position
    ASSERT_TRUE(WaitFor([&] { return !focuser.Engaged(); }, 5000));
    TFaults slow;
    slow.delay = 150ms;
    sim->SetFaults(slow);
    focuser.Poll(); // temperature, answered 150 ms later
    focuser::TMoveAsk ask = focuser::TMoveAsk::To(30400);
    ask.measure = true;
    EXPECT_EQ(Await(focuser.Move(ask), 10000), TFocuser::MoveEnd::Done);
    EXPECT_EQ(sim->Position(), 30400);
    ASSERT_TRUE(sim->WaitForCommand("O00400", 3000ms));
    EXPECT_EQ(sim->Commands(), (std::vector<std::string>{"FPOSRO", "FTMPRO", "FPOSRO", "O00400"}));
}

TEST_F(FocuserDevice, CloseLeavesTheFocuserInManualMode) {
    Await(focuser.SetTempComp(true)); // FAMODE
    focuser.Close();
    EXPECT_FALSE(focuser.Connected());
    ASSERT_TRUE(sim->WaitForCommand("FMMODE", 3000ms, 1));
    EXPECT_EQ(sim->Commands().back(), "FMMODE");
    EXPECT_EQ(focuser.CloseLogLine(), "Close QLO Port");
}

} // namespace

namespace {

// How one queued move ended: "done", "replaced", "refused: ...".
QCoro::Task<> Outcome(QCoro::Task<TFocuser::MoveEnd> move, std::string& out) {
    try {
        co_await std::move(move);
        out = "done";
    } catch (const TSuperseded&) {
        out = "replaced";
    } catch (const Failure& e) {
        out = "refused: " + e.Message().toStdString();
    }
}

// The focuser's queue stays short whatever clients ask: a client's newer move replaces its own
// that waits, a gone client's waiting move is dropped, and past a few waiting requests the next
// is refused at once.
TEST_F(FocuserDevice, WaitingMovesAreReplacedDroppedOrRefused) {
    Offer();
    QCoro::Task<TFocuser::MoveEnd> running = focuser.Move(focuser::TMoveAsk::By(false, 800));
    ASSERT_TRUE(focuser.Moving());
    std::vector<std::string> out(3 + TDevice::kMaxWaiting);
    std::vector<QCoro::Task<>> watches;
    auto ask = [&](int steps, const QString& key, std::string& o) {
        watches.push_back(Outcome(focuser.Move(focuser::TMoveAsk::By(true, steps), key), o));
    };
    ask(10, "a", out[0]);
    ask(20, "a", out[1]); // replaces the one of 10
    ask(30, "b", out[2]);
    focuser.Withdraw("b"); // its client has gone
    for (int i = 0; i < TDevice::kMaxWaiting; ++i)
        ask(1 + i, {}, out[3 + i]); // the last is one too many
    EXPECT_EQ(out.back(), "refused: QLO is busy: 6 requests wait already");
    EXPECT_TRUE(WaitFor([&] { return out[0] == "replaced" && out[2] == "replaced"; }, 3000));
    Await(std::move(running), 30000);
    ASSERT_TRUE(WaitFor([&] { return !focuser.Engaged(); }, 30000));
    EXPECT_EQ(out[1], "done");
    const std::vector<std::string> commands = sim->Commands();
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 3),
              (std::vector<std::string>{"O00800", "I00020", "I00001"}));
    EXPECT_EQ(commands.size(), std::size_t(2 + TDevice::kMaxWaiting - 1));
}

} // namespace
