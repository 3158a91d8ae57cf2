// SPDX-License-Identifier: GPL-3.0-or-later
// Receive notification of the serial link: it runs on the GUI thread when bytes arrive, once per
// arrival, also for a handler that leaves bytes unread, and never after Close returns.
#include "ComPort.h"
#include "LinkTestSupport.h"
#include "QtTestSupport.h"
#include "TestPty.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class ComPortNotify : public LinkOnPty {
  protected:
    int calls = 0;
    QByteArray received;
};

TEST_F(ComPortNotify, RunsOnTheGuiThreadWhenBytesArrive) {
    bool onGuiThread = false;
    link.OnRxChar = [&] {
        ++calls;
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        QByteArray part;
        link.ReadText(part, 80);
        received += part;
    };
    OpenLink();
    Pump(200);
    EXPECT_EQ(calls, 0) << "notified with nothing received";

    pty.Write("P=12345\n");
    ASSERT_TRUE(WaitFor([&] { return received.endsWith('\n'); }, 3000));
    EXPECT_EQ(received, QByteArray("P=12345\n"));
    EXPECT_TRUE(onGuiThread);
}

TEST_F(ComPortNotify, BytesLeftUnreadAreNotToldAgainUntilMoreArrive) {
    link.OnRxChar = [&] {
        ++calls;
        QByteArray part;
        link.ReadText(part, 80);
        received += part;
    };
    // All 100 bytes wait before the link looks, so that they make one arrival.
    pty.Write(QByteArray(100, 'x'));
    const std::set<int> held = FdsOn(pty.Path());
    ASSERT_FALSE(held.empty());
    ASSERT_TRUE(WaitFor([&] { return Waiting(*held.begin()) == 100; }, 2000));
    OpenLink();
    ASSERT_TRUE(WaitFor([&] { return calls == 1; }, 3000));
    Pump(500);
    EXPECT_EQ(calls, 1) << "notified again for the same unread bytes";
    EXPECT_EQ(received.size(), 80);
    EXPECT_EQ(Waiting(linkFd), 20);

    pty.Write(QByteArray(5, 'y'));
    ASSERT_TRUE(WaitFor([&] { return calls == 2; }, 3000));
    EXPECT_EQ(received, QByteArray(100, 'x') + QByteArray(5, 'y'));
    Pump(300);
    EXPECT_EQ(calls, 2);
}

// A cable pulled while a reply waits unread (an exchange reads it only after its pause) is still
// told, once.
TEST_F(ComPortNotify, AHangUpIsToldWhileBytesWaitUnread) {
    int lost = 0;
    link.OnRxChar = [&] { ++calls; };
    link.OnLineLost = [&] { ++lost; };
    OpenLink();
    pty.Write("T=21.5\n");
    ASSERT_TRUE(WaitFor([&] { return calls == 1; }, 3000));
    Pump(200); // the event thread now only looks again now and then
    pty.CloseMaster();
    EXPECT_TRUE(WaitFor([&] { return lost == 1; }, 5000));
    Pump(600);
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(link.HungUp());
}

TEST_F(ComPortNotify, BytesArrivingDuringTheHandlerAreToldAfterIt) {
    // The handler reads everything, then the rest of the reply arrives before it returns.
    link.OnRxChar = [&] {
        ++calls;
        QByteArray part;
        link.ReadText(part, 80);
        received += part;
        if (calls == 1) {
            pty.Write("345\n");
            WaitFor([&] { return Waiting(linkFd) == 4; }, 2000);
        }
    };
    OpenLink();
    pty.Write("P=12");
    ASSERT_TRUE(WaitFor([&] { return received.endsWith('\n'); }, 3000))
        << "the end of the reply was never notified; received " << received.constData();
    EXPECT_EQ(received, QByteArray("P=12345\n"));
}

TEST_F(ComPortNotify, AThrowingHandlerGoesToTheErrorReportAndNotifyingGoesOn) {
    ErrorRecorder errors;
    link.OnRxChar = [&] {
        ++calls;
        QByteArray part;
        link.ReadText(part, 80);
        throw Failure("Erreur lecture");
    };
    OpenLink();
    pty.Write("a");
    ASSERT_TRUE(WaitFor([&] { return calls == 1; }, 3000));
    pty.Write("b");
    ASSERT_TRUE(WaitFor([&] { return calls == 2; }, 3000));
    EXPECT_EQ(errors.messages, (QStringList{"Erreur lecture.", "Erreur lecture."}));
}

TEST_F(ComPortNotify, AHandlerMayCloseItsOwnLink) {
    WarmUpThreads();
    const int threads = ThreadCount();
    int closes = 0;
    link.OnAfterClose = [&] { ++closes; };
    link.OnRxChar = [&] {
        ++calls;
        link.Close();
    };
    OpenLink();
    pty.Write("bye");
    ASSERT_TRUE(WaitFor([&] { return !link.Connected(); }, 3000));
    Pump(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(ComPortNotify, NothingIsToldAfterClose) {
    link.OnRxChar = [&] { ++calls; };
    OpenLink();
    pty.Write("late reply");
    QThread::msleep(100); // the event thread hands over while the GUI thread is busy
    link.Close();
    Pump(200);
    EXPECT_EQ(calls, 0);

    pty.Write("more");
    Pump(200);
    EXPECT_EQ(calls, 0);
}

} // namespace
