// The focuser settings window against simulated focusers, over real links and real pauses
// unless the case says otherwise.
#include "QLOForm.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "MainForm.h"
#include "Pause.h"
#include "QtTestSupport.h"
#include "SimFocuser.h"
#include "TestPty.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>

#include <thread>

using namespace std::chrono_literals;
using Commands = std::vector<std::string>;

class QLOFormTest : public FormsTest {
  protected:
    static void Connect(int number, const QString& port) {
        (number == 1 ? FormMain->QLO : FormMain->QLO2)->Open(port);
        number == 1 ? FormMain->ConnectQLO(port) : FormMain->ConnectQLO2(port);
    }
    static void Connect(int number, TSimDevice& sim) {
        Connect(number, QString::fromStdString(sim.Port()));
        sim.WaitForCommand("FMMODE", 2s); // the greeting
        sim.ClearReceived();
    }
    static QStringList Debug() { return Texts(FormMain->memoDebugLogs); }
    static bool MoveButtons() {
        return FormQLO->ButtonMoveIn->isEnabled() && FormQLO->ButtonMoveOut->isEnabled();
    }
    // Waits a little so that a command on its way would be recorded.
    static Commands Settled(const TSimDevice& sim) {
        Pump(150);
        return sim.Commands();
    }
    TSimFocuser one{Options()}, two{Options()};
    ErrorRecorder errors;

    static TFocuserOptions Options() {
        TFocuserOptions o;
        o.stepsPerSecond = 5000;
        o.driftPerSecond = 0;
        return o;
    }
};

TEST_F(QLOFormTest, ReadValuesShowsTheFocusersSettingsAndItsSignSupport) {
    const struct {
        int number, firmware;
        QString firmwareShown, log; // log: the line that tells how the sign reply went
        bool signChecked, signEnabled, decodes;
    } cases[] = {
        // Each case changes the selection: the controls are emptied, then read twice.
        {1, 1321, "1321", "QLOForm OK rx:A=1", true, true, true},
        {2, 1321, "1321", "", true, true, true},
        {1, 1320, "1320", "QLOForm NOK rx:", true, false, true}, // no sign reply: taken as set
        // Focuser 2 fails on the missing sign reply; "SGETAL" is not sent, nothing decodes and
        // the sign box keeps the enabled state of the focuser shown before.
        {2, 1320, "",
         "Erreur écriture ComPortQLO2 [GetValues] :'' n'est pas une valeur entière correcte", false,
         false, false},
    };
    for (const auto& c : cases) {
        TFocuserOptions o = Options();
        o.firmware = c.firmware;
        o.settings = {3, true, true, 6000, 15, true, 5};
        TSimFocuser sim(o);
        Connect(c.number, sim);
        errors.messages.clear();
        (c.number == 1 ? FormMain->ButtonDetailsQLOClick() : FormMain->ButtonDetailsQLO2Click());
        SCOPED_TRACE(testing::Message() << "focuser " << c.number << ", firmware " << c.firmware);
        EXPECT_EQ(FormQLO->LabelFirmwareValue->text(), c.firmwareShown);
        EXPECT_EQ(FormQLO->CheckBoxSignCoeff->isChecked(), c.signChecked);
        EXPECT_EQ(FormQLO->CheckBoxSignCoeff->isEnabled(), c.signEnabled);
        if (!c.log.isEmpty()) {
            EXPECT_TRUE(Debug().contains(c.log));
        }
        if (c.decodes) {
            EXPECT_EQ(FormQLO->ComboBoxSpeed->currentText(), "Slow");
            EXPECT_TRUE(FormQLO->CheckBoxRotation->isChecked());
            EXPECT_TRUE(FormQLO->CheckBoxHalfStep->isChecked());
            EXPECT_EQ(FormQLO->EditCompCoef->text(), "15");
            EXPECT_EQ(FormQLO->EditCompThreshold->text(), "5");
            EXPECT_EQ(FormQLO->EditMaxPosition->text(), "6000");
            EXPECT_TRUE(errors.messages.isEmpty());
        } else {
            // Read on the selection and again on the showing: one report each.
            EXPECT_EQ(errors.messages, QStringList(2, "'' n'est pas une valeur entière correcte."));
            EXPECT_EQ(Settled(sim), Commands({"FTAXXA", "FTAXXA"}));
        }
        FormMain->ClosePortQLO();
        FormMain->ClosePortQLO2();
        EXPECT_FALSE(FormQLO->isVisible());
    }
}

TEST_F(QLOFormTest, SaveSendsTheSequenceWithItsPausesAndResetRestoresTheFactoryValues) {
    Connect(1, one);
    FormQLO->RadioButtonFocuser1->setChecked(true);
    one.ClearReceived();
    FormQLO->ComboBoxSpeed->setCurrentIndex(1);
    FormQLO->CheckBoxRotation->setChecked(true);
    FormQLO->CheckBoxHalfStep->setChecked(false);
    FormQLO->EditMaxPosition->setText("6000");
    FormQLO->EditCompCoef->setText("15");
    FormQLO->CheckBoxSignCoeff->setChecked(true);
    FormQLO->EditCompThreshold->setText("5");
    FormQLO->Button_Send->click();
    const auto received = one.Received();
    Commands sent;
    for (const TReceived& r : received)
        sent.push_back(r.text);
    EXPECT_EQ(sent,
              Commands({"SMO003", "SMROTT", "SMSTPF", "M06000", "FLA015", "FZAXX1", "SMA005"}));
    for (std::size_t i = 2; i < received.size(); ++i) // the rotation follows the speed at once
        EXPECT_GE(received[i].at - received[i - 1].at, 150ms) << sent[i];
    EXPECT_EQ(one.Settings(), TFocuserSettings({3, true, false, 6000, 15, true, 5}));
    EXPECT_EQ(Debug().last(), "");

    // No speed item, a maximum too long: those two are left out, the rest is sent.
    one.ClearReceived();
    FormQLO->ComboBoxSpeed->setCurrentText("Fast");
    FormQLO->EditMaxPosition->setText("123456");
    FormQLO->Button_Send->click();
    EXPECT_EQ(Settled(one), Commands({"SMROTT", "SMSTPF", "FLA015", "FZAXX1", "SMA005"}));
    EXPECT_TRUE(Debug().contains("Please use 5 digit number. 100 = 00100,.."));

    one.ClearReceived();
    FormQLO->Button_Reset->click();
    EXPECT_EQ(Settled(one), Commands({"SEERAZ", "FTAXXA", "SGETAL"}));
    EXPECT_EQ(FormQLO->EditMaxPosition->text(), "60000");
    EXPECT_EQ(FormQLO->EditCompCoef->text(), "10");
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(QLOFormTest, SaveStopsAtAFailedWriteAndSendsNothingToAClosedFocuserTwo) {
    Connect(1, one);
    Connect(2, two);
    FormQLO->RadioButtonFocuser2->setChecked(true);
    FormMain->ClosePortQLO2();
    two.ClearReceived();
    FormQLO->Button_Send->click();
    EXPECT_EQ(Settled(two), Commands());
    EXPECT_EQ(Debug().last(), "");

    FormQLO->RadioButtonFocuser1->setChecked(true);
    one.Unplug();
    const qsizetype ends = Debug().count("");
    FormQLO->Button_Send->click();
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages[0].startsWith("WriteFile function failed (Error: "));
    EXPECT_EQ(Debug().count(""), ends); // the sequence did not end
}

TEST_F(QLOFormTest, EnterSavesAndTheEditableListsKeepTheirItems) {
    Connect(1, one);
    FormMain->ButtonDetailsQLOClick();
    FormQLO->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FormQLO));
    for (auto [combo, key, modifier] :
         {std::tuple{FormQLO->ComboMove, Qt::Key_Return, Qt::NoModifier},
          std::tuple{FormQLO->ComboBoxSpeed, Qt::Key_Enter, Qt::KeypadModifier}}) {
        const int items = combo->count();
        one.ClearReceived();
        combo->setFocus();
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), "Slow");
        QTest::keyClick(combo->lineEdit(), key, modifier);
        EXPECT_TRUE(one.WaitForCommand("SMA020", 2s)) << key;
        EXPECT_EQ(combo->count(), items);
        EXPECT_EQ(combo->currentText(), "Slow");
    }
}

TEST_F(QLOFormTest, MovesReachTheFocuserAndGoToMeasuresFromFocuserOne) {
    Connect(1, one);
    FormQLO->RadioButtonFocuser1->setChecked(true);
    const int start = one.Position();
    const struct {
        void (TFormQLO::*handler)();
        QString steps;
        std::string command;
        int moved;
    } moves[] = {{&TFormQLO::ButtonMoveInClick, "100", "I00100", -100},
                 {&TFormQLO::ButtonMoveOutClick, "250", "O00250", 250}};
    int expected = start;
    for (const auto& m : moves) {
        one.ClearReceived();
        FormQLO->ComboMove->setCurrentText(m.steps);
        (FormQLO->*m.handler)();
        expected += m.moved;
        EXPECT_EQ(one.Commands(), Commands({m.command}));
        EXPECT_EQ(one.Position(), expected); // the mark came: the move is over
        EXPECT_EQ(FormMain->LabelQLOPositionValue->text(), "moving");
        EXPECT_TRUE(MoveButtons());
    }
    FormMain->QLO->AskPosition = true;
    FormMain->getValuesQLO();
    EXPECT_TRUE(WaitFor(
        [&] { return FormMain->LabelQLOPositionValue->text() == QString::number(expected); },
        3000));

    const struct {
        int position, target;
        std::string command; // empty: nothing sent
    } goTo[] = {{1000, 1000, ""},  {1000, 0, ""},      {1000, -5, ""},
                {1000, 65500, ""}, {0, 500, "O00500"}, {1000, 400, "I00600"}};
    for (const auto& g : goTo) {
        one.ClearReceived();
        FormMain->QLO->Position = g.position;
        FormQLO->moveto(g.target);
        EXPECT_EQ(Settled(one), g.command.empty() ? Commands() : Commands({g.command})) << g.target;
    }
}

TEST_F(QLOFormTest, AMoveWithoutItsEndMarkGivesUpAndFreesTheButtons) {
    // A focuser that never answers; the pauses are only counted, the bound is what matters.
    TestPty deaf;
    Connect(1, deaf.Path());
    FormQLO->RadioButtonFocuser1->setChecked(true);
    const PauseFn previous = SetPause([](int) { QThread::msleep(1); });
    FormQLO->ComboMove->setCurrentIndex(0);
    FormQLO->ButtonMoveInClick();
    SetPause(previous);
    EXPECT_TRUE(deaf.Read(6).contains("I0000 "));
    EXPECT_EQ(Debug().last(),
              "Erreur fin de mouvement ComPortQLO MoveIn :no \"*\" within 10000 ms");
    EXPECT_TRUE(MoveButtons());

    // Unplugged while it moves slowly: the wait ends at once, well within its bound.
    FormMain->ClosePortQLO();
    one.SetStepsPerSecond(1);
    Connect(1, one);
    FormQLO->RadioButtonFocuser1->setChecked(true);
    FormQLO->ComboMove->setCurrentText("1000");
    std::thread unplug([&] {
        if (one.WaitForCommand("O01000", 10s)) one.Unplug();
    });
    QElapsedTimer clock;
    clock.start();
    FormQLO->ButtonMoveOutClick();
    unplug.join();
    EXPECT_LT(clock.elapsed(), 25000);
    EXPECT_EQ(Debug().last(), "Erreur fin de mouvement ComPortQLO MoveOut :link lost");
    EXPECT_TRUE(MoveButtons());
}

TEST_F(QLOFormTest, CompensationFollowsEachFocuserAcrossSelectionAndHiding) {
    Connect(1, one);
    Connect(2, two);
    FormMain->ButtonDetailsQLOClick();
    const int start = one.Position();
    FormQLO->ButtonTempComp->click();
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Stop t° comp");
    EXPECT_EQ(FormMain->LabelTempComp->text(), "Temp comp activated");
    EXPECT_FALSE(FormQLO->ButtonMoveIn->isEnabled() || FormQLO->ButtonMoveOut->isEnabled());
    EXPECT_TRUE(one.WaitForCommand("FAMODE", 2s));
    one.SetTemperature(Options().temperature + 3); // warmer: out by 10 steps per degree
    EXPECT_TRUE(WaitFor([&] { return one.Position() == start + 30; }, 5000));

    FormMain->ButtonDetailsQLO2Click();
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Start t° comp");
    EXPECT_TRUE(MoveButtons());
    FormMain->ButtonDetailsQLOClick(); // selects focuser 1 and hides
    EXPECT_FALSE(FormQLO->isVisible());
    FormMain->ButtonDetailsQLOClick();
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Stop t° comp");
    EXPECT_FALSE(MoveButtons());

    FormQLO->ButtonTempComp->click();
    EXPECT_TRUE(one.WaitForCommand("FMMODE", 2s));
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Start t° comp");
    EXPECT_EQ(FormMain->LabelTempComp->text(), "");
    EXPECT_FALSE(FormMain->QLO->TempComp);
    EXPECT_TRUE(MoveButtons());
}

TEST_F(QLOFormTest, DetailsButtonsReadOnEachSelectionAndShowing) {
    Connect(1, one);
    Connect(2, two);
    auto reads = [](const TSimDevice& sim) {
        const Commands c = Settled(sim);
        return std::count(c.begin(), c.end(), "SGETAL");
    };
    FormMain->ButtonDetailsQLOClick();
    FormMain->ButtonDetailsQLOClick();
    EXPECT_EQ(reads(one), 2);
    EXPECT_FALSE(FormQLO->isVisible());
    FormMain->ButtonDetailsQLO2Click(); // selection and showing
    EXPECT_EQ(reads(two), 2);
    FormMain->ButtonDetailsQLOClick(); // selects focuser 1, then hides
    EXPECT_EQ(reads(one), 3);
    EXPECT_TRUE(FormQLO->RadioButtonFocuser1->isChecked());
    EXPECT_FALSE(FormQLO->isVisible());
}

TEST_F(QLOFormTest, WithNoFocuserSelectedNothingIsWritten) {
    Connect(1, one);
    FormQLO->ComboMove->setCurrentText("10");
    for (void (TFormQLO::*handler)() :
         {&TFormQLO::Button_GetvaluesClick, &TFormQLO::Button_SendClick,
          &TFormQLO::Button_ResetClick, &TFormQLO::ButtonMoveInClick, &TFormQLO::ButtonMoveOutClick,
          &TFormQLO::ButtonTempCompClick})
        (FormQLO->*handler)();
    FormQLO->moveto(500);
    EXPECT_EQ(Settled(one), Commands());
    EXPECT_TRUE(MoveButtons());
}
