// SPDX-License-Identifier: GPL-3.0-or-later
// Accessories plugged in while the program runs, through the program itself: with --hotplug a
// new focuser is asked who it is and tracked, nothing else is asked and focuser 1 keeps its
// polling; a focuser without a free place is asked only; without --hotplug nothing new is asked.
#include "QtTestSupport.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "SimPanels.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace {

bool IsPoll(const std::string& command) {
    return command == "FPOSRO" || command == "FTMPRO";
}

std::size_t Count(const TSimDevice& device, const std::string& command) {
    const auto commands = device.Commands();
    return std::count(commands.begin(), commands.end(), command);
}

std::size_t Polls(const TSimDevice& device) {
    const auto commands = device.Commands();
    return std::count_if(commands.begin(), commands.end(), IsPoll);
}

// The longest time between two polls of the device, in seconds.
double LongestPollGap(const TSimDevice& device) {
    std::optional<TSimDevice::Clock::time_point> last;
    double longest = 0;
    for (const TReceived& r : device.Received()) {
        if (!r.complete || !IsPoll(r.text)) continue;
        if (last) longest = std::max(longest, std::chrono::duration<double>(r.at - *last).count());
        last = r.at;
    }
    return longest;
}

class Hotplug : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(QDir(runtime_.path()).mkpath("skyvarn/ports")); }
    void TearDown() override {
        skyvarn_.kill();
        skyvarn_.waitForFinished(10000);
    }

    QString Plug(const TSimDevice& device, const QString& name) {
        const QString link = runtime_.filePath("skyvarn/ports/" + name);
        EXPECT_TRUE(QFile::link(QString::fromStdString(device.Port()), link));
        return link;
    }
    void Start(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime_.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        skyvarn_.setProcessEnvironment(env);
        skyvarn_.start(SKYVARN_PROGRAM, arguments);
    }
    // What the program said on its standard output: without a display, the notifications.
    QString Said() {
        said_ += QString::fromUtf8(skyvarn_.readAllStandardOutput());
        return said_;
    }
    bool WaitForPolls(const TSimDevice& device, std::size_t polls, int ms = 60000) {
        return WaitFor([&] { return Polls(device) >= polls; }, ms);
    }

    QTemporaryDir runtime_;
    QProcess skyvarn_;
    QString said_;
};

} // namespace

TEST_F(Hotplug, APluggedFocuserIsTrackedAndOneWithoutAPlaceIsOnlyAsked) {
    TSimFocuser one;
    TSimDewController dew;
    Plug(one, "a");
    Plug(dew, "b");
    Start({"--connect", "--hotplug"});
    ASSERT_TRUE(WaitForPolls(one, 3)) << skyvarn_.readAllStandardError().toStdString();

    TSimFocuser two;
    const QString second = Plug(two, "c");
    // Asked, greeted and polled, within 15 s of its plugging in.
    ASSERT_TRUE(WaitForPolls(two, 1, 15000)) << Said().toStdString();
    const auto commands = two.Commands();
    EXPECT_EQ(commands.front(), "SWHOIS");
    EXPECT_EQ(Count(two, "FMMODE"), 1u); // the greeting: manual mode
    ASSERT_TRUE(WaitFor([&] { return Said().contains("Found: Quillo 2 on " + second); }, 10000))
        << Said().toStdString();

    TSimFocuser three;
    const QString third = Plug(three, "d");
    const QString notTaken = "Not taken: a focuser on " + third;
    ASSERT_TRUE(WaitFor([&] { return Said().contains(notTaken); }, 15000)) << Said().toStdString();
    // Another arrival, after which the third focuser has still been asked nothing more.
    TSimPanels panels;
    const QString fourth = Plug(panels, "e");
    ASSERT_TRUE(
        WaitFor([&] { return Said().contains("Found: Morvessa panels on " + fourth); }, 15000))
        << Said().toStdString();
    EXPECT_EQ(three.Commands(), std::vector<std::string>{"SWHOIS"});
    EXPECT_EQ(Said().count(notTaken), 1);

    // The devices held were asked nothing; focuser 1 was greeted once and polled throughout.
    EXPECT_EQ(Count(one, "SWHOIS"), 1u);
    EXPECT_EQ(Count(dew, "SWHOIS"), 1u);
    EXPECT_EQ(Count(one, "FMMODE"), 1u);
    ASSERT_TRUE(WaitForPolls(two, 3));
    EXPECT_LT(LongestPollGap(one), 5.0); // every second, on a loaded machine a little later
}

TEST_F(Hotplug, WithoutTheOptionNothingNewIsAsked) {
    TSimFocuser one;
    Plug(one, "a");
    Start({"--connect"});
    ASSERT_TRUE(WaitForPolls(one, 3)) << skyvarn_.readAllStandardError().toStdString();
    TSimFocuser two;
    Plug(two, "c");
    // Five more polls of focuser 1: several times what finding a new port takes.
    ASSERT_TRUE(WaitForPolls(one, Polls(one) + 5));
    EXPECT_EQ(two.CommandCount(), 0u);
}
