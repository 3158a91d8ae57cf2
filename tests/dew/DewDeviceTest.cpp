// SPDX-License-Identifier: GPL-3.0-or-later
// The dew controller's exchanges with no window at all, against a simulated controller.
#include "DewController.h"
#include "Failure.h"
#include "QtTestSupport.h"
#include "SimDew.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {
using namespace std::chrono_literals;

class DewDevice : public testing::Test {
  protected:
    DewDevice() : dew([this](const QString& line) { log << line; }) {}
    void SetUp() override {
        TDewOptions options;
        options.timeScale = 0; // readings stand still
        options.ambient = 14.25;
        options.humidity = 62.5;
        sim = std::make_unique<TSimDewController>(options);
        dew.Open(QString::fromStdString(sim->Port()));
    }

    std::unique_ptr<TSimDewController> sim;
    QStringList log;
    TDewController dew;
};

TEST_F(DewDevice, PollBringsAFrameIntoTheValues) {
    int frames = 0;
    QObject::connect(&dew, &TDewController::FrameParsed, [&] { ++frames; });
    dew.Poll();
    ASSERT_TRUE(WaitFor([&] { return frames == 1; }, 5000));
    EXPECT_EQ(sim->Commands(), std::vector<std::string>{"SGETAL"});
    EXPECT_DOUBLE_EQ(dew.Values.AmbTemp, 14.25);
    EXPECT_DOUBLE_EQ(dew.Values.Humidity, 62.5);
    EXPECT_EQ(dew.Values.Aggressive, sim->Settings().aggressivity);
    EXPECT_TRUE(log.contains("BRS Tx: SGETAL"));
}

TEST_F(DewDevice, SettingCommandsReachTheController) {
    dew.SendOutput(2, 7);
    EXPECT_TRUE(log.contains("BRS cmd S2Oxxx :S2O070"));
    // Asked while the calibration is saved: the outputs wait their turn, the slider's command
    // too, and nothing is mixed on the line.
    QCoro::Task<> calibration = dew.SaveCalibration("3", "0", "9");
    QCoro::Task<> outputs = dew.SaveOutputs(true, false, -1); // no aggressivity: nothing written
    dew.SendOutput(3, 5);
    Await(std::move(calibration));
    Await(std::move(outputs));
    EXPECT_TRUE(log.contains("BRS cmd SAGGRx :"));
    ASSERT_TRUE(sim->WaitForCommand("S3O050", 3000ms));
    EXPECT_EQ(sim->Commands(),
              (std::vector<std::string>{"S2O070", "SCA309", "SLINK1", "SAUTO0", "S3O050"}));
    EXPECT_EQ(sim->Settings().calibration, (std::array<int, 3>{3, 0, 9}));
    EXPECT_DOUBLE_EQ(sim->Output(2), 70);

    Await(dew.Reset());
    ASSERT_TRUE(sim->WaitForCommand("SEERAZ", 3000ms));
    EXPECT_EQ(sim->Settings(), TDewOptions::FactorySettings());

    // One mode set, then the other while the first waits: the second keeps what the first
    // wrote, not what a frame from before it said.
    dew.Poll();
    ASSERT_TRUE(WaitFor([&] { return dew.HasFrame() && !dew.Engaged(); }, 5000));
    QCoro::Task<> linked = dew.SetMode(TDewController::Mode::Linked, true);
    QCoro::Task<> automatic = dew.SetMode(TDewController::Mode::Automatic, true);
    Await(std::move(linked));
    Await(std::move(automatic));
    ASSERT_TRUE(WaitFor([&] { return sim->Settings().automatic; }, 3000));
    EXPECT_TRUE(sim->Settings().linked);

    dew.Close();
    log.clear();
    dew.SendOutput(1, 3); // closed: nothing sent, nothing logged
    EXPECT_TRUE(log.isEmpty());
}

} // namespace

namespace {

// Writes queued one behind the other for several poll periods: the polls still come, each right
// after the write under way, and a setting's newer value replaces its own waiting one.
TEST_F(DewDevice, PollsKeepTheirCadenceWhileWritesQueueUp) {
    dew.Poll();
    ASSERT_TRUE(WaitFor([&] { return dew.HasFrame() && !dew.Engaged(); }, 5000));
    sim->ClearReceived();
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, [&] { dew.Poll(); });
    ticks.start(TDewController::kPollBoundMs + 200);
    std::vector<QCoro::Task<>> writes;
    QElapsedTimer clock;
    clock.start();
    // Two settings in turn, faster than their writes (about 0.4 s each) go: the queue never
    // empties, and each setting's newer value replaces its waiting one.
    for (int i = 0; clock.elapsed() < 7000; ++i) {
        writes.push_back(dew.SetMode(
            i % 2 ? TDewController::Mode::Linked : TDewController::Mode::Automatic, i % 4 < 2));
        Pump(150);
    }
    ticks.stop();
    int polls = 0;
    for (const std::string& c : sim->Commands())
        polls += c == "SGETAL";
    EXPECT_GE(polls, 2) << "polled " << polls << " times in 7 s of queued writes";
    for (QCoro::Task<>& w : writes)
        try {
            Await(std::move(w), 30000);
        } catch (const TSuperseded&) {
        }
}

} // namespace

// A client's write ends once a frame asked after it shows the new value, so that what is read
// next agrees; one the controller does not take fails after two frames, saying what they show.
TEST_F(DewDevice, ClientWritesEndOnceAFrameShowsThem) {
    dew.Poll();
    ASSERT_TRUE(WaitFor([&] { return dew.HasFrame() && !dew.Engaged(); }, 5000));
    using Mode = TDewController::Mode;
    struct Case {
        const char* what;
        std::function<QCoro::Task<>()> write;
        std::vector<std::string> commands;
        std::function<bool()> shown;
        const char* failure; // empty: taken
    } cases[] = {
        {"output 2 at 70 %",
         [&] { return dew.SetOutput(2, 7); },
         {"S2O070", "SGETAL"},
         [&] { return dew.Values.Out2 == 70; },
         ""},
        {"automatic mode on",
         [&] { return dew.SetMode(Mode::Automatic, true); },
         {"SLINK0", "SAUTO1", "SAGGR" + std::to_string(sim->Settings().aggressivity), "SGETAL"},
         [&] { return dew.Values.Automode == 1 && dew.KnownModes().automatic; },
         ""},
        // Automatic mode owns output 1: the controller answers but leaves it.
        {"output 1 under automatic mode",
         [&] { return dew.SetOutput(1, 5); },
         {"S1O050", "SGETAL", "SGETAL"},
         [&] { return dew.Values.Out1 == 0; },
         "Brisella did not take the setting: output 1 reads 0 %, not 50 %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = sim->Commands().size();
        std::string failure;
        try {
            Await(c.write());
        } catch (const Failure& e) {
            failure = e.Message().toStdString();
        }
        EXPECT_EQ(failure, c.failure);
        const std::vector<std::string> all = sim->Commands();
        EXPECT_EQ(std::vector<std::string>(all.begin() + std::ptrdiff_t(before), all.end()),
                  c.commands);
        EXPECT_TRUE(c.shown());
    }
}
