// SPDX-License-Identifier: GPL-3.0-or-later
// The dew controller settings window and the output sliders, through the real windows against
// a simulated controller.
#include "BRSForm.h"
#include "DewController.h"
#include "FormsFixture.h"
#include "MainForm.h"
#include "PortList.h"
#include "QtTestSupport.h"
#include "SimDew.h"
#include "TestPty.h"
#include "Waits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <map>

using namespace std::chrono_literals;

namespace {

QStringList DebugTexts() {
    return Texts(FormMain->memoDebugLogs);
}

qsizetype DebugCount(const QString& prefix) {
    const QStringList texts = DebugTexts();
    return std::count_if(texts.begin(), texts.end(),
                         [&](const QString& t) { return t.startsWith(prefix); });
}

qsizetype Frames() {
    return DebugCount(QStringLiteral("!!Début et fin trouvés :"));
}

// The number a value label shows ("21.5 °C").
double LabelNumber(const QLabel* label) {
    return label->text().section(QChar(' '), 0, 0).toDouble();
}

std::vector<bool> SlidersEnabled() {
    return {FormMain->TrackBarBRS1->isEnabled(), FormMain->TrackBarBRS2->isEnabled(),
            FormMain->TrackBarBRS3->isEnabled()};
}

// The complete commands other than the poll, with their arrival times in seconds.
std::vector<std::pair<std::string, double>> Settings(const TSimDevice& device) {
    std::vector<std::pair<std::string, double>> out;
    for (const TReceived& r : device.Received())
        if (r.complete && r.text != "SGETAL")
            out.emplace_back(r.text,
                             std::chrono::duration<double>(r.at.time_since_epoch()).count());
    return out;
}

std::vector<std::string> Names(const std::vector<std::pair<std::string, double>>& commands) {
    std::vector<std::string> names;
    for (const auto& c : commands)
        names.push_back(c.first);
    return names;
}

} // namespace

class DewSettingsTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        previous_ = SetPortSource([this] { return FolderPorts(folder_.path()); });
    }
    void TearDown() override {
        if (FormMain->BRS->Connected()) ClickLoadDevices();
        FormsTest::TearDown();
        SetPortSource(previous_);
    }
    // Connect All finds the controller; its first frame is shown, then the window opens.
    void Connect(TSimDewController& dew, bool track = false) {
        QFile::link(QString::fromStdString(dew.Port()), folder_.filePath("dew"));
        FormMain->CheckBoxTrackAll->setChecked(track);
        ClickLoadDevices();
        ASSERT_TRUE(FormMain->BRS->Connected());
        ASSERT_TRUE(WaitFor([] { return Frames() >= 1; }, 4000));
        FormMain->ButtonDetailsBRS->click();
        ASSERT_TRUE(FormBRS->isVisible());
        dew.ClearReceived();
    }
    // A poll parsed and shown, then a refresh of the window. The controller acknowledges a
    // setting with "DONE", and a chunk holding it drops the frame read with it: poll again then.
    static void PollAndRefresh() {
        const qsizetype before = Frames();
        for (int attempt = 0; attempt < 3 && Frames() == before; ++attempt) {
            FormMain->getValuesBRS();
            WaitFor([&] { return Frames() > before; }, 2000);
        }
        ASSERT_GT(Frames(), before);
        FormBRS->ButtonReadValues->click();
    }

    QTemporaryDir folder_;
    PortSource previous_;
};

TEST_F(DewSettingsTest, SliderSendsItsCommandLinkedOutputFollowsAndAClosedLinkSendsNothing) {
    TDewOptions o;
    o.settings.linked = true;
    TSimDewController dew(o);
    Connect(dew);
    FormMain->TrackBarBRS2->setValue(7);
    EXPECT_TRUE(dew.WaitForCommand("S2O070", 2s));
    EXPECT_TRUE(DebugTexts().contains("BRS cmd S2Oxxx :S2O070"));
    EXPECT_TRUE(WaitFor([&] { return dew.Output(3) == 70; }, 2000));
    PollAndRefresh();
    EXPECT_EQ(FormMain->LabelBRSOut3Value->text(), "70 %");
    EXPECT_EQ(FormMain->TrackBarBRS3->value(), 7); // follows slider 2, locked
    EXPECT_EQ(SlidersEnabled(), (std::vector<bool>{true, true, false}));

    ClickLoadDevices(); // Disconnect All
    ASSERT_FALSE(FormMain->BRS->Connected());
    const std::size_t sent = dew.CommandCount();
    const qsizetype refreshes = DebugCount("Read values :");
    FormMain->TrackBarBRS2->setValue(5);
    FormBRS->SpinEditCalT1->setValue(4);
    FormBRS->SpinEditThr1->setValue(4);
    FormBRS->CheckBoxAuto->setChecked(true);
    for (QPushButton* save : {FormBRS->ButtonSaveCalValues, FormBRS->ButtonSaveThrValues,
                              FormBRS->ButtonSaveOutValues}) {
        ASSERT_TRUE(save->isEnabled());
        save->click();
        EXPECT_FALSE(save->isEnabled());
        EXPECT_EQ(FormBRS->LabelHelp->text(), "");
    }
    FormBRS->ButtonReset->click();
    Pump(300);
    EXPECT_EQ(dew.CommandCount(), sent);
    EXPECT_EQ(DebugCount("Read values :"), refreshes);
}

TEST_F(DewSettingsTest, CalibrationAndThresholdsSaveAndComeBackWithTheNextPoll) {
    TDewOptions o;
    o.timeScale = 0; // readings stand still
    TSimDewController dew(o);
    Connect(dew);
    FormBRS->SpinEditCalT1->setValue(3);
    FormBRS->SpinEditCalT2->setValue(0);
    FormBRS->SpinEditCalTa->setValue(9);
    EXPECT_TRUE(FormBRS->ButtonSaveCalValues->isEnabled());
    EXPECT_FALSE(FormBRS->ButtonSaveThrValues->isEnabled());
    FormBRS->ButtonSaveCalValues->click();
    EXPECT_FALSE(FormBRS->ButtonSaveCalValues->isEnabled());
    FormBRS->SpinEditThr1->setValue(2);
    FormBRS->SpinEditThr2->setValue(5);
    FormBRS->ButtonSaveThrValues->click(); // waits for the calibration's turn
    EXPECT_EQ(FormBRS->LabelHelp->text(), "");
    ASSERT_TRUE(Settle());
    ASSERT_TRUE(dew.WaitForCommandCount(2, 2s));
    EXPECT_EQ(dew.Commands(), (std::vector<std::string>{"SCA309", "STHR25"}));
    EXPECT_TRUE(DebugTexts().contains("BRS cmd SCAxyz :SCA309"));
    EXPECT_TRUE(DebugTexts().contains("BRS cmd STHRxy :STHR25"));

    // Saving changes nothing here: the controller's next frame does.
    EXPECT_EQ(FormMain->BRS->Values.CalTA, 0);
    PollAndRefresh();
    const TDewReadings r = dew.Readings();
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSLocTemp1Value), r.probe[0] + 3, 0.006);
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSLocTemp2Value), r.probe[1], 0.006);
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSAmbTempValue), r.ambient + 9, 0.006);
    const std::vector<int> shown{FormBRS->SpinEditCalT1->value(), FormBRS->SpinEditCalT2->value(),
                                 FormBRS->SpinEditCalTa->value(), FormBRS->SpinEditThr1->value(),
                                 FormBRS->SpinEditThr2->value()};
    EXPECT_EQ(shown, (std::vector<int>{3, 0, 9, 2, 5}));
}

TEST_F(DewSettingsTest, OutputsSaveInOrderWithTheirPausesAndTheModeShowsAtOnce) {
    TSimDewController dew;
    Connect(dew);
    EXPECT_EQ(FormMain->LabelAutomatic->text(), "");
    FormBRS->ComboBoxAggressivity->setCurrentIndex(2); // "5"
    FormBRS->CheckBoxAuto->setChecked(true);
    ASSERT_TRUE(FormBRS->ButtonSaveOutValues->isEnabled());

    // What the main window shows during each of the handler's waits.
    QStringList shownDuringPauses;
    const PauseFn previous = SetPause([&](int ms) {
        shownDuringPauses << FormMain->LabelAutomatic->text();
        return ms;
    });
    FormBRS->ButtonSaveOutValues->click();
    ASSERT_TRUE(Settle());
    SetPause(previous);
    // The mode shows as the save starts; the event loop runs on through its pauses.
    EXPECT_EQ(shownDuringPauses, (QStringList{"Auto mode activated", "Auto mode activated"}));

    ASSERT_TRUE(dew.WaitForCommandCount(3, 2s));
    const auto sent = Settings(dew);
    EXPECT_EQ(Names(sent), (std::vector<std::string>{"SLINK0", "SAUTO1", "SAGGR3"}));
    // 200 ms apart; arrival times are taken when the simulator reads, which a loaded machine may
    // delay: loose per gap, tighter over both.
    for (std::size_t i = 1; i < sent.size(); ++i)
        EXPECT_GT(sent[i].second - sent[i - 1].second, 0.05) << i;
    EXPECT_GT(sent.back().second - sent.front().second, 0.3);
    for (const char* line :
         {"BRS cmd SLINKx :SLINK0", "BRS cmd SAUTOx :SAUTO1", "BRS cmd SAGGRx :SAGGR3"})
        EXPECT_TRUE(DebugTexts().contains(line)) << line;

    PollAndRefresh();
    EXPECT_TRUE(dew.Settings().automatic);
    EXPECT_EQ(dew.Settings().aggressivity, 3);
    EXPECT_TRUE(FormBRS->CheckBoxAuto->isChecked());
    EXPECT_EQ(FormBRS->ComboBoxAggressivity->currentText(), "5");
    EXPECT_EQ(FormMain->LabelAutomatic->text(), "Auto mode activated");
    EXPECT_EQ(SlidersEnabled(), (std::vector<bool>{false, false, true}));
}

TEST_F(DewSettingsTest, TypedAggressivityActsAsChosenAndANonItemSendsNone) {
    TSimDewController dew;
    Connect(dew);
    QLineEdit* edit = FormBRS->ComboBoxAggressivity->lineEdit();
    const struct {
        const char* typed;
        std::vector<std::string> sent;
        const char* logged;
    } cases[] = {
        {"7", {"SLINK0", "SAUTO0"}, "BRS cmd SAGGRx :"},
        {"10", {"SLINK0", "SAUTO0", "SAGGR4"}, "BRS cmd SAGGRx :SAGGR4"},
    };
    for (const auto& c : cases) {
        dew.ClearReceived();
        edit->selectAll();
        QTest::keyClicks(edit, c.typed);
        EXPECT_EQ(FormBRS->ComboBoxAggressivity->currentText(), c.typed);
        EXPECT_TRUE(FormBRS->ButtonSaveOutValues->isEnabled()) << c.typed;
        EXPECT_TRUE(FormBRS->LabelHelp->text().startsWith("Aggressivity is used")) << c.typed;
        FormBRS->ButtonSaveOutValues->click();
        ASSERT_TRUE(Settle());
        ASSERT_TRUE(dew.WaitForCommandCount(c.sent.size(), 2s));
        Pump(300); // nothing more comes
        EXPECT_EQ(dew.Commands(), c.sent) << c.typed;
        const QStringList log = DebugTexts();
        const auto line = std::find_if(log.rbegin(), log.rend(), [](const QString& t) {
            return t.startsWith("BRS cmd SAGGRx :");
        });
        ASSERT_NE(line, log.rend());
        EXPECT_EQ(*line, c.logged);
    }
    EXPECT_EQ(FormBRS->ComboBoxAggressivity->count(), 4); // typing adds no item
}

TEST_F(DewSettingsTest, RefreshShowsTheStoredStateAndLocksTheSliders) {
    const struct {
        int calT1, automode, linked, aggressive;
        int spin;
        const char* item;
        std::vector<bool> sliders;
        const char* automatic;
    } cases[] = {
        {12, 0, 0, 0, 9, "10", {true, true, true}, ""},
        {-3, 0, 1, 7, 0, "10", {true, true, false}, ""},
        {4, 1, 0, 3, 4, "5", {false, false, true}, "Auto mode activated"},
        {4, 1, 1, 1, 4, "1", {false, false, false}, "Auto mode activated"},
        {4, 2, 0, 4, 4, "10", {true, true, true}, ""}, // only exactly 1 is on
    };
    for (const auto& c : cases) {
        DewValues& v = FormMain->BRS->Values;
        v.CalT1 = c.calT1;
        v.Automode = c.automode;
        v.OutsLinked = c.linked;
        v.Aggressive = c.aggressive;
        FormMain->BRS->FirmwareVersion = 12;
        FormBRS->ButtonReadValues->click();
        EXPECT_EQ(FormBRS->SpinEditCalT1->value(), c.spin) << c.calT1;
        EXPECT_EQ(FormBRS->ComboBoxAggressivity->currentText(), c.item) << c.aggressive;
        EXPECT_EQ(SlidersEnabled(), c.sliders) << c.automode << c.linked;
        EXPECT_EQ(FormMain->LabelAutomatic->text(), c.automatic);
        EXPECT_EQ(FormBRS->CheckBoxAuto->isChecked(), c.automode == 1);
        EXPECT_EQ(FormBRS->CheckBoxLinkOuts->isChecked(), c.linked == 1);
        EXPECT_EQ(FormBRS->LabelFirmwareValue->text(), "12");
        for (QPushButton* save : {FormBRS->ButtonSaveCalValues, FormBRS->ButtonSaveThrValues,
                                  FormBRS->ButtonSaveOutValues})
            EXPECT_FALSE(save->isEnabled());
        EXPECT_EQ(FormBRS->LabelHelp->text(), "");
        EXPECT_EQ(DebugTexts().last(),
                  QStringLiteral("Read values :12 %1 %2 0").arg(c.calT1).arg(c.automode));
    }
}

TEST_F(DewSettingsTest, ResetSendsSeerazThenRefreshesAfterItsWaits) {
    TDewOptions o;
    o.settings.threshold = {7, 8};
    o.settings.aggressivity = 4;
    TSimDewController dew(o);
    Connect(dew);
    EXPECT_EQ(FormBRS->SpinEditThr1->value(), 7);
    const qsizetype refreshes = DebugCount("Read values :");
    QElapsedTimer clock;
    clock.start();
    FormBRS->ButtonReset->click();
    EXPECT_FALSE(FormBRS->ButtonReset->isEnabled()); // while the controller is busy
    ASSERT_TRUE(Settle());
    EXPECT_GE(clock.elapsed(), 650); // 200 ms, a read, 500 ms
    EXPECT_EQ(DebugCount("Read values :"), refreshes + 1);
    EXPECT_TRUE(FormBRS->ButtonReset->isEnabled());
    EXPECT_TRUE(dew.WaitForCommand("SEERAZ", 2s));
    // The refresh showed the last poll; the next one brings the factory settings.
    EXPECT_EQ(FormBRS->SpinEditThr1->value(), 7);
    PollAndRefresh();
    EXPECT_EQ(FormBRS->SpinEditThr1->value(), 2);
    EXPECT_EQ(FormBRS->ComboBoxAggressivity->currentText(), "2");
}

TEST_F(DewSettingsTest, WriteFailuresReportSavesAndLogResets) {
    TestPty pty;
    FormMain->BRS->Open(pty.Path());
    pty.CloseMaster(); // writes now fail
    ErrorRecorder errors;
    FormBRS->SpinEditCalT1->setValue(5);
    FormBRS->ButtonSaveCalValues->click();
    EXPECT_EQ(errors.messages, QStringList{"WriteFile function failed (Error: 5)"});
    EXPECT_FALSE(FormBRS->ButtonSaveCalValues->isEnabled());

    const qsizetype refreshes = DebugCount("Read values :");
    FormBRS->ButtonReset->click();
    EXPECT_EQ(DebugTexts().last(),
              "Erreur écriture ComPortBRS SEERAZ :WriteFile function failed (Error: 5)");
    EXPECT_EQ(DebugCount("Read values :"), refreshes);
    EXPECT_EQ(errors.messages.size(), 1);
}

// In automatic mode the controller drives its outputs and every frame moves the sliders: each
// move sends its slider's command once, and the controller's acknowledgements never bring
// commands back. 20 s of tracking with the controller's time running six times faster: the
// outputs climb through several slider steps, and a loop would show within two frames.
TEST_F(DewSettingsTest, AutomaticTrackingSendsEachSliderMoveOnceWithoutEcho) {
    TDewOptions o;
    o.timeScale = 6;
    o.humidity = 95; // dew point close to the air: the probes need heat
    o.settings.automatic = true;
    o.settings.linked = true;
    o.settings.aggressivity = 2;
    TSimDewController dew(o);
    Connect(dew, true);
    Pump(20000);
    const int slider1 = FormMain->TrackBarBRS1->value();
    ClickLoadDevices(); // stop tracking
    Pump(300);

    int polls = 0;
    std::map<char, std::vector<int>> sentPerOutput;
    std::map<char, int> sincePoll;
    for (const std::string& c : dew.Commands()) {
        if (c == "SGETAL") {
            ++polls;
            sincePoll.clear();
            continue;
        }
        ASSERT_EQ(c.substr(0, 1), "S");
        ASSERT_EQ(c[2], 'O') << c;
        EXPECT_LE(++sincePoll[c[1]], 1) << "twice between two polls: " << c;
        sentPerOutput[c[1]].push_back(std::stoi(c.substr(3)));
    }
    EXPECT_GE(polls, 7);
    ASSERT_GE(sentPerOutput['1'].size(), 2u); // the outputs did move
    for (auto& [output, values] : sentPerOutput)
        for (std::size_t i = 1; i < values.size(); ++i)
            EXPECT_NE(values[i], values[i - 1]) << output; // only changes are sent
    EXPECT_EQ(sentPerOutput['1'].back(), slider1 * 10);
    EXPECT_EQ(sentPerOutput['3'], sentPerOutput['2']); // linked: slider 3 follows output 3
}
