#include "ErrorReport.h"
#include "Failure.h"
#include "QtTestSupport.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

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
