// SPDX-License-Identifier: GPL-3.0-or-later
// The cancellable hand-over, and closing links and destroying timers while a hand-over waits
// for the GUI thread: nothing may deadlock, and no handler may run once Close or the
// destructor has returned.
#include "Handover.h"
#include "ComPort.h"
#include "QtTestSupport.h"
#include "TestPty.h"
#include "ThreadedTimer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <memory>
#include <thread>

namespace {

constexpr int kRounds = 300;

TEST(Handover, RunsOnTheGuiThreadAndWaitsUntilItHasRun) {
    QObject context;
    THandover handover(&context);
    QThread* ranOn = nullptr;
    std::atomic<bool> returned{false};
    bool result = false;
    std::thread worker([&] {
        result = handover.Run([&] { ranOn = QThread::currentThread(); });
        returned = true;
    });
    QThread::msleep(100);
    EXPECT_FALSE(returned) << "the worker went on before the call ran";
    EXPECT_TRUE(WaitFor([&] { return returned.load(); }, 3000));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
}

TEST(Handover, CancelReleasesAWaitingWorkerAndDropsItsCall) {
    QObject context;
    THandover handover(&context);
    bool ran = false;
    std::atomic<bool> returned{false};
    bool result = true;
    std::thread worker([&] {
        result = handover.Run([&] { ran = true; });
        returned = true;
    });
    QThread::msleep(50); // the call is queued; the GUI thread does not take it
    handover.Cancel();
    worker.join(); // would hang if the worker still waited for the GUI thread
    EXPECT_FALSE(result);
    Pump(100);
    EXPECT_FALSE(ran);

    EXPECT_FALSE(handover.Run([&] { ran = true; })) << "a cancelled hand-over took a call";
    handover.Reset();
    std::thread again([&] { result = handover.Run([&] { ran = true; }); });
    EXPECT_TRUE(WaitFor([&] { return ran; }, 3000));
    again.join();
    EXPECT_TRUE(result);
}

// Counts the queued calls delivered to an object: those that reach a closed link were in
// flight when it closed.
class CallCounter : public QObject {
  public:
    int calls = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++calls;
        return false;
    }
};

TEST(InFlight, ClosingALinkNeverWaitsForTheGuiThreadNorRunsItsHandlerAfterwards) {
    TestPty pty;
    ASSERT_FALSE(pty.Path().isEmpty());
    TComPort link;
    CallCounter late;
    link.installEventFilter(&late);
    link.SetPort(pty.Path());
    int handled = 0;
    link.OnRxChar = [&] { ++handled; };
    for (int round = 0; round < kRounds; ++round) {
        link.Open();
        pty.Write("P=12345\n");
        QThread::msleep(10); // the event thread hands over while the GUI thread is busy
        link.Close();
        QCoreApplication::processEvents();
    }
    Pump(100);
    std::cout << "[ figures  ] " << late.calls << " of " << kRounds
              << " closes had a hand-over in flight" << std::endl;
    EXPECT_EQ(handled, 0);
    // On a loaded machine the event thread may not get to hand over in time: say so.
    if (late.calls == 0) GTEST_SKIP() << "no close met a hand-over in flight: race not reached";
}

TEST(InFlight, DestroyingALinkNeverWaitsForTheGuiThread) {
    TestPty pty;
    ASSERT_FALSE(pty.Path().isEmpty());
    int handled = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto link = std::make_unique<TComPort>();
        link->SetPort(pty.Path());
        link->OnRxChar = [&] { ++handled; };
        link->Open();
        pty.Write("T=21.5\n");
        QThread::msleep(5);
        link.reset();
        QCoreApplication::processEvents();
    }
    Pump(100);
    EXPECT_EQ(handled, 0);
}

TEST(InFlight, DestroyingATimerNeverWaitsForTheGuiThreadNorTicksAfterwards) {
    int ticksBefore = 0; // ticks taken on purpose: they show that ticks were in flight
    int ticksAfter = 0;
    for (int round = 0; round < kRounds; ++round) {
        bool destroyed = false;
        auto timer = std::make_unique<TThreadedTimer>();
        timer->SetInterval(1);
        timer->OnTimer = [&] { ++(destroyed ? ticksAfter : ticksBefore); };
        timer->SetEnabled(true);
        QThread::msleep(5);
        QCoreApplication::processEvents();
        QThread::msleep(5); // the next tick is handed over meanwhile
        timer.reset();
        destroyed = true;
        QCoreApplication::processEvents();
    }
    Pump(100);
    std::cout << "[ figures  ] " << ticksBefore << " ticks taken in " << kRounds << " rounds"
              << std::endl;
    EXPECT_EQ(ticksAfter, 0);
    if (ticksBefore == 0) GTEST_SKIP() << "no tick was in flight: race not reached";
}

} // namespace
