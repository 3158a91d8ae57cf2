// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorReport.h"
#include "ComPort.h"
#include "ErrorBox.h"
#include "Failure.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "MainForm.h"
#include "QtTestSupport.h"
#include "TestPty.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
QList<QMessageBox*> ErrorBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->objectName() == "ErrorBox")
            boxes << box;
    return boxes;
}
} // namespace

TEST(ErrorReport, FullStopIsAddedOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(WithFullStop("Port Not Open"), "Port Not Open.");
    EXPECT_EQ(WithFullStop("'x' n'est pas une valeur entière correcte"),
              "'x' n'est pas une valeur entière correcte.");
    EXPECT_EQ(WithFullStop("WriteFile function failed (Error: 5)"),
              "WriteFile function failed (Error: 5)");
    EXPECT_EQ(WithFullStop("done."), "done.");
    EXPECT_EQ(WithFullStop("a-"), "a-");
    EXPECT_EQ(WithFullStop("1/2"), "1/2.");
    EXPECT_EQ(WithFullStop(""), "");
}

TEST(ErrorReport, AnErrorEscapingAnEventReachesTheReportAndTheLoopGoesOn) {
    ErrorRecorder recorder;
    bool later = false;
    QTimer::singleShot(0, qApp, [] { throw Failure("Port Not Open"); });
    QTimer::singleShot(5, qApp, [&] { later = true; });
    EXPECT_TRUE(WaitFor([&] { return later; }, 2000));
    EXPECT_EQ(recorder.messages, QStringList{"Port Not Open."});
}

TEST(ErrorReport, GuardedSlotStopsAnyException) {
    ErrorRecorder recorder;
    auto slot = GuardedSlot([] { throw std::runtime_error("boom"); });
    slot();
    EXPECT_EQ(recorder.messages, QStringList{"boom."});
}

// The box opens after the failing handler has returned and runs no event loop of its own, so
// Disconnect All clicked while it is up closes links and timers under no half-finished handler.
TEST_F(FormsTest, ErrorBoxOpensFromACleanStackAndDisconnectAllMayRunUnderIt) {
    const ErrorReporter previous = SetErrorReporter({});
    InstallErrorBox();
    TestPty focuser;
    FormMain->QLO->Open(focuser.Path());
    FormMain->ConnectQLO(focuser.Path());
    bool handlerReturned = false;
    FormMain->QLO->Link().OnRxChar = [&] {
        handlerReturned = false;
        Guarded([] { throw Failure("ReadFile function failed (Error: 5)"); });
        EXPECT_EQ(ErrorBoxes().size(), 0); // not opened underneath the handler
        handlerReturned = true;
    };
    focuser.Write("P=");
    ASSERT_TRUE(WaitFor([] { return ErrorBoxes().size() == 1; }, 5000));
    EXPECT_TRUE(handlerReturned);
    QMessageBox* box = ErrorBoxes().front();
    EXPECT_EQ(box->windowTitle(), "Skyvarn Manager");
    EXPECT_EQ(box->text(), "ReadFile function failed (Error: 5)"); // ")" sorts before "."
    EXPECT_TRUE(box->isVisible());

    FormMain->ButtonLoadDevicesClick(); // Disconnect All while the box is up
    EXPECT_FALSE(FormMain->QLO->Connected());
    Pump(50);
    box->close();
    EXPECT_TRUE(WaitFor([] { return ErrorBoxes().isEmpty(); }, 5000));
    SetErrorReporter(previous);
}
