// SPDX-License-Identifier: GPL-3.0-or-later
// The polling timer: when ticks come, enabling and disabling, errors of a tick, priority.
#include "ThreadedTimer.h"
#include "Failure.h"
#include "LinkTestSupport.h"
#include "QtTestSupport.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class Timer : public testing::Test {
  protected:
    void SetUp() override {
        timer.OnTimer = [this] {
            if (ticks++ == 0) firstTickMs = clock.elapsed();
        };
    }

    void Enable() {
        clock.start();
        timer.SetEnabled(true);
    }

    TThreadedTimer timer;
    QElapsedTimer clock;
    int ticks = 0;
    qint64 firstTickMs = -1;
};

TEST_F(Timer, FirstTickComesAboutOneIntervalAfterEnabling) {
    timer.SetInterval(300);
    Enable();
    ASSERT_TRUE(WaitFor([&] { return ticks >= 1; }, 3000));
    EXPECT_GE(firstTickMs, 250); // no upper bound: a loaded machine may take the tick late
}

TEST_F(Timer, DisableThenEnableRestartsTheFullInterval) {
    timer.SetInterval(400);
    Enable();
    Pump(250);
    timer.SetEnabled(false);
    Enable();
    ASSERT_TRUE(WaitFor([&] { return ticks >= 1; }, 3000));
    EXPECT_GE(firstTickMs, 350) << "the tick of the first enable was kept";
}

TEST_F(Timer, ChangingTheIntervalWhileEnabledRestartsWithTheNewOne) {
    timer.SetInterval(5000);
    Enable();
    Pump(100);
    clock.start();
    timer.SetInterval(200);
    EXPECT_TRUE(timer.Enabled());
    ASSERT_TRUE(WaitFor([&] { return ticks >= 1; }, 3000));
    EXPECT_GE(firstTickMs, 150);
    EXPECT_LT(firstTickMs, 4000) << "still waiting out the old 5000 ms interval";
}

TEST_F(Timer, ZeroIntervalDoesNothingUnlessAllowed) {
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_FALSE(timer.Enabled());
    Pump(300);
    EXPECT_EQ(ticks, 0);

    timer.AllowZero = true;
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_TRUE(WaitFor([&] { return ticks >= 3; }, 3000));
}

TEST_F(Timer, DisabledTimerRunsNoTickAlreadyHandedOver) {
    timer.SetInterval(20);
    Enable();
    QThread::msleep(1000); // the worker hands a tick over while the GUI thread is busy
    timer.SetEnabled(false);
    Pump(300);
    EXPECT_EQ(ticks, 0);
}

TEST_F(Timer, TicksDoNotQueueUpWhileTheGuiThreadIsBusy) {
    timer.SetInterval(200);
    Enable();
    QThread::msleep(1500); // seven intervals pass without the GUI thread taking a tick
    // Queued ticks would all be delivered in the first pass of the event loop.
    ASSERT_TRUE(WaitFor([&] { return ticks >= 1; }, 5000));
    EXPECT_LE(ticks, 2) << "ticks queued up while the GUI thread was busy";
}

TEST_F(Timer, FailingTicksAreDiscardedAndTicksGoOn) {
    ErrorRecorder errors;
    timer.OnTimer = [this] {
        ++ticks;
        if (ticks % 2) throw Failure("Erreur écriture ComPortQLO :Port Not Open");
        throw std::runtime_error("not a failure");
    };
    timer.SetInterval(30);
    Enable();
    EXPECT_TRUE(WaitFor([&] { return ticks >= 4; }, 3000));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('|').toStdString();
}

TEST_F(Timer, LowerPriorityIsOneNiceStepOnTheWorker) {
    // The worker is started with the timer; find it as the thread a new timer adds.
    WarmUpThreads();
    const std::set<int> before = TaskIds();
    TThreadedTimer lowered;
    const int worker = NewThread(before);
    ASSERT_GE(worker, 0);
    const int normal = ThreadNice(worker);
    lowered.SetThreadPriority(TThreadPriority::Lower);
    EXPECT_TRUE(WaitFor([&] { return ThreadNice(worker) == normal + 1; }, 2000));
}

TEST(TimerLifetime, CreatingAndDestroyingLeavesNoThread) {
    WarmUpThreads();
    const int threads = ThreadCount();
    for (int i = 0; i < 100; ++i) {
        TThreadedTimer timer;
        timer.SetInterval(1000);
        timer.SetEnabled(true);
    }
    EXPECT_EQ(ThreadCount(), threads);
}

} // namespace
