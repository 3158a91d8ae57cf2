// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser settings window against simulated focusers, over real links and real pauses
// unless the case says otherwise.
#include "QLOForm.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "MainForm.h"
#include "QtTestSupport.h"
#include "SimFocuser.h"
#include "TestPty.h"
#include "Waits.h"

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
    // Connected, greeted and polled once (a deaf focuser's poll ends on its bound): offered.
    static void Connect(int number, const QString& port) {
        TFocuser* f = number == 1 ? FormMain->QLO : FormMain->QLO2;
        f->Open(port);
        number == 1 ? FormMain->ConnectQLO(port) : FormMain->ConnectQLO2(port);
        f->Poll();
        ASSERT_TRUE(WaitFor([f] { return f->Ready() && !f->Engaged(); }, 5000));
    }
    static void Connect(int number, TSimDevice& sim) {
        Connect(number, QString::fromStdString(sim.Port()));
        sim.WaitForCommand("FTMPRO", 2s); // the greeting and the first poll
        sim.ClearReceived();
    }
    static QStringList Debug() { return Texts(FormMain->memoDebugLogs); }
    static bool MoveButtons() {
        return FormQLO->ButtonMoveIn->isEnabled() && FormQLO->ButtonMoveOut->isEnabled();
    }
    // Waits for the exchanges to end, then a little so that a command on its way would be
    // recorded.
    static Commands Settled(const TSimDevice& sim) {
        EXPECT_TRUE(Settle());
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

// Speed, rotation, half steps, coefficient, threshold, maximum, firmware, sign checked and enabled.
QString Shown() {
    auto flag = [](const QCheckBox* box) { return QString::number(box->isChecked()); };
    return QStringList{FormQLO->ComboBoxSpeed->currentText(),
                       flag(FormQLO->CheckBoxRotation),
                       flag(FormQLO->CheckBoxHalfStep),
                       FormQLO->EditCompCoef->text(),
                       FormQLO->EditCompThreshold->text(),
                       FormQLO->EditMaxPosition->text(),
                       FormQLO->LabelFirmwareValue->text(),
                       flag(FormQLO->CheckBoxSignCoeff),
                       QString::number(FormQLO->CheckBoxSignCoeff->isEnabled())}
        .join('|');
}

TEST_F(QLOFormTest, DetailsShowTheFocusersSettingsReadOnSelectionAndOnShowing) {
    const struct {
        int number, firmware;
        QString shown, log; // log: how the sign reply went
    } cases[] = {
        {1, 1321, "Slow|1|1|15|5|6000|1321|1|1", "QLOForm OK rx:A=1"},
        {2, 1321, "Slow|1|1|15|5|6000|1321|1|1", ""},
        {1, 1320, "Slow|1|1|15|5|6000|1320|1|0", "QLOForm NOK rx:"}, // no sign reply: set
        // Focuser 2 fails on the missing sign reply, does not ask "SGETAL" and shows the
        // emptied controls; the sign box stays as enabled as before.
        {2, 1320, "Average|0|0|||||0|0",
         "Erreur écriture ComPortQLO2 [GetValues] :'' n'est pas une valeur entière correcte"},
    };
    for (const auto& c : cases) {
        TFocuserOptions o = Options();
        o.firmware = c.firmware;
        o.settings = {3, true, true, 6000, 15, true, 5};
        TSimFocuser sim(o);
        Connect(c.number, sim);
        errors.messages.clear();
        // Each case selects the other focuser: the controls are emptied, then read twice.
        (c.number == 1 ? FormMain->ButtonDetailsQLOClick() : FormMain->ButtonDetailsQLO2Click());
        ASSERT_TRUE(Settle());
        SCOPED_TRACE(testing::Message() << "focuser " << c.number << ", firmware " << c.firmware);
        EXPECT_EQ(Shown(), c.shown);
        EXPECT_TRUE(c.log.isEmpty() || Debug().contains(c.log));
        const bool decodes = c.number == 1 || c.firmware >= 1321;
        EXPECT_EQ(Settled(sim).size(), decodes ? 4u : 2u); // "FTAXXA" ("SGETAL"), twice
        EXPECT_EQ(errors.messages,
                  decodes ? QStringList()
                          : QStringList(2, "'' n'est pas une valeur entière correcte."));
        FormMain->ClosePortQLO();
        FormMain->ClosePortQLO2();
        EXPECT_FALSE(FormQLO->isVisible());
    }
}

TEST_F(QLOFormTest, SaveSendsTheSequenceWithItsPausesAndResetRestoresTheFactoryValues) {
    const TFocuserSettings stored{3, true, false, 6000, 15, true, 5};
    TFocuserOptions o = Options();
    o.settings = stored;
    TSimFocuser sim(o);
    Connect(1, sim);
    FormQLO->RadioButtonFocuser1->setChecked(true); // reads what Save then writes back
    ASSERT_TRUE(Settle());
    sim.ClearReceived();
    FormQLO->Button_Send->click();
    ASSERT_TRUE(Settle());
    const std::vector<TReceived> received = sim.Received();
    EXPECT_EQ(sim.Commands(),
              Commands({"SMO003", "SMROTT", "SMSTPF", "M06000", "FLA015", "FZAXX1", "SMA005"}));
    // The rotation follows the speed at once, then 200 ms pauses. Arrival times are taken when
    // the simulator reads, which a loaded machine may delay: loose per gap, tight over all.
    for (std::size_t i = 2; i < received.size(); ++i)
        EXPECT_GE(received[i].at - received[i - 1].at, 50ms) << received[i].text;
    ASSERT_EQ(received.size(), 7u);
    EXPECT_GE(received[6].at - received[1].at, 750ms);
    EXPECT_EQ(Debug().last(), "");

    // No speed item, a maximum too long: those two are left out, the rest is sent.
    sim.ClearReceived();
    FormQLO->ComboBoxSpeed->setCurrentText("Fast");
    FormQLO->EditMaxPosition->setText("123456");
    FormQLO->CheckBoxHalfStep->setChecked(true);
    FormQLO->Button_Send->click();
    EXPECT_EQ(Settled(sim), Commands({"SMROTT", "SMSTPD", "FLA015", "FZAXX1", "SMA005"}));
    EXPECT_TRUE(Debug().contains("Please use 5 digit number. 100 = 00100,.."));
    EXPECT_TRUE(sim.Settings().halfSteps);

    sim.ClearReceived();
    ASSERT_TRUE(Settle());
    FormQLO->Button_Reset->click();
    EXPECT_EQ(Settled(sim), Commands({"SEERAZ", "FTAXXA", "SGETAL"}));
    EXPECT_EQ(Shown(), "Average|0|0|10|20|60000|1321|0|1");
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST_F(QLOFormTest, SaveStopsAtAFailedWriteAndSendsNothingToAClosedFocuserTwo) {
    Connect(1, one);
    Connect(2, two);
    FormQLO->RadioButtonFocuser2->setChecked(true);
    ASSERT_TRUE(Settle());
    FormMain->ClosePortQLO2();
    ASSERT_TRUE(two.WaitForCommand("FMMODE", 3s)); // the close's, on its way
    two.ClearReceived();
    FormQLO->Button_Send->click();
    EXPECT_EQ(Settled(two), Commands());
    EXPECT_EQ(Debug().last(), "");

    FormQLO->RadioButtonFocuser1->setChecked(true);
    ASSERT_TRUE(Settle());
    one.Unplug();
    const qsizetype ends = Debug().count("");
    FormQLO->Button_Send->click();
    ASSERT_TRUE(Settle());
    Pump(50); // the report is posted once the exchange has unwound
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages[0].startsWith("WriteFile function failed (Error: "));
    EXPECT_EQ(Debug().count(""), ends); // the sequence did not end
}

TEST_F(QLOFormTest, EnterSavesAndTheEditableListsKeepTheirItems) {
    Connect(1, one);
    FormMain->ButtonDetailsQLOClick();
    ASSERT_TRUE(Settle());
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
        ASSERT_TRUE(Settle());
        EXPECT_TRUE(one.WaitForCommand("SMA020", 2s)) << key;
        EXPECT_EQ(combo->count(), items);
        EXPECT_EQ(combo->currentText(), "Slow");
    }
}

TEST_F(QLOFormTest, MovesReachTheFocuserAndGoToMeasuresFromTheSelectedFocuser) {
    Connect(1, one);
    Connect(2, two);
    FormQLO->RadioButtonFocuser1->setChecked(true);
    ASSERT_TRUE(Settle());
    const int start = one.Position();
    for (auto [in, steps, command] :
         {std::tuple{true, "100", "I00100"}, std::tuple{false, "250", "O00250"}}) {
        one.ClearReceived();
        FormQLO->ComboMove->setCurrentText(steps);
        (in ? FormQLO->ButtonMoveIn : FormQLO->ButtonMoveOut)->click();
        // The handler returns at once; the buttons wait for the move's end.
        EXPECT_FALSE(MoveButtons());
        ASSERT_TRUE(Settle());
        EXPECT_EQ(one.Commands(), Commands({command}));
        EXPECT_FALSE(one.Moving()); // the end mark came
        EXPECT_EQ(FormMain->LabelQLOPositionValue->text(), "moving");
        EXPECT_TRUE(MoveButtons());
    }
    const QString end = QString::number(start - 100 + 250);
    FormMain->QLO->AskPosition = true;
    FormMain->getValuesQLO();
    EXPECT_TRUE(WaitFor([&] { return FormMain->LabelQLOPositionValue->text() == end; }, 3000));

    // The go-to measures from the selected focuser's last position; the move box takes whole
    // step counts from 0 to 65535 only.
    const struct {
        int number, position;
        int target;          // 0: a move of the box's text instead
        const char* text;    // the box's text
        std::string command; // empty: nothing sent
    } moves[] = {
        {1, 1000, 1000, "", ""},       {1, 1000, 0, "abc", ""},   {1, 1000, -5, "", ""},
        {1, 1000, 65500, "", ""},      {1, 0, 500, "", "O00500"}, {1, 1000, 400, "", "I00600"},
        {2, 3000, 2900, "", "I00100"}, {1, 0, 0, "abc", ""},      {1, 0, 0, "-5", ""},
        {1, 0, 0, "65536", ""},        {1, 0, 0, " ", ""},        {1, 0, 0, " 20 ", "I00020"}};
    for (const auto& m : moves) {
        TSimFocuser& sim = m.number == 1 ? one : two;
        (m.number == 1 ? FormQLO->RadioButtonFocuser1 : FormQLO->RadioButtonFocuser2)
            ->setChecked(true);
        ASSERT_TRUE(Settle());
        sim.ClearReceived();
        const qsizetype logged = Debug().size();
        TFocuser* f = m.number == 1 ? FormMain->QLO : FormMain->QLO2;
        f->Position = m.position;
        FormMain->QLO->Position = m.number == 1 ? m.position : 0;
        if (m.target != 0) {
            FormQLO->moveto(m.target);
        } else {
            FormQLO->ComboMove->setCurrentText(m.text);
            FormQLO->ButtonMoveInClick();
        }
        SCOPED_TRACE(testing::Message() << m.target << " '" << m.text << "'");
        EXPECT_EQ(Settled(sim), m.command.empty() ? Commands() : Commands({m.command}));
        if (m.target == 0 && m.command.empty())
            EXPECT_EQ(Debug().mid(logged).last(),
                      QStringLiteral("Erreur valeur ComPortQLO MoveIn :'%1' is not a number of "
                                     "steps from 0 to 65535")
                          .arg(m.text));
    }
}

TEST_F(QLOFormTest, AMoveWithoutItsEndMarkGivesUpAndFreesTheButtons) {
    // A focuser that never answers; the pauses are only counted, the bound is what matters.
    TestPty deaf;
    Connect(1, deaf.Path());
    FormQLO->RadioButtonFocuser1->setChecked(true);
    ASSERT_TRUE(Settle());
    const PauseFn previous = SetPause([](int) { return 1; });
    FormQLO->ComboMove->setCurrentText("10");
    FormQLO->ButtonMoveInClick();
    ASSERT_TRUE(Settle());
    SetPause(previous);
    EXPECT_TRUE(deaf.Read(18).contains("I00010")); // after the greeting and the first poll
    EXPECT_EQ(Debug().last(),
              "Erreur fin de mouvement ComPortQLO MoveIn :no \"*\" within 10200 ms");
    EXPECT_TRUE(MoveButtons());

    // Unplugged while it moves slowly: the wait ends at once, well within its bound.
    FormMain->ClosePortQLO();
    one.SetStepsPerSecond(1);
    Connect(1, one);
    FormQLO->RadioButtonFocuser1->setChecked(true);
    ASSERT_TRUE(Settle());
    FormQLO->ComboMove->setCurrentText("1000");
    std::thread unplug([&] {
        if (one.WaitForCommand("O01000", 10s)) one.Unplug();
    });
    QElapsedTimer clock;
    clock.start();
    FormQLO->ButtonMoveOutClick();
    ASSERT_TRUE(Settle(30000));
    unplug.join();
    EXPECT_LT(clock.elapsed(), 25000);
    EXPECT_EQ(Debug().last(), "Erreur fin de mouvement ComPortQLO MoveOut :link lost");
    EXPECT_TRUE(MoveButtons());
}

TEST_F(QLOFormTest, CompensationFollowsEachFocuserAcrossSelectionAndHiding) {
    Connect(1, one);
    Connect(2, two);
    FormMain->ButtonDetailsQLOClick();
    ASSERT_TRUE(Settle());
    const int start = one.Position();
    FormQLO->ButtonTempComp->click();
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Stop t° comp");
    EXPECT_EQ(FormMain->LabelTempComp->text(), "Temp comp activated");
    EXPECT_FALSE(FormQLO->ButtonMoveIn->isEnabled() || FormQLO->ButtonMoveOut->isEnabled());
    EXPECT_TRUE(one.WaitForCommand("FAMODE", 2s));
    one.SetTemperature(Options().temperature + 3); // warmer: out by 10 steps per degree
    EXPECT_TRUE(WaitFor([&] { return one.Position() == start + 30; }, 5000));

    FormMain->ButtonDetailsQLO2Click();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Start t° comp");
    EXPECT_TRUE(MoveButtons());
    one.ClearReceived();
    FormMain->ButtonDetailsQLOClick(); // selects focuser 1, reads it, and hides
    EXPECT_EQ(Settled(one), Commands({"FTAXXA", "SGETAL"}));
    EXPECT_FALSE(FormQLO->isVisible());
    FormMain->ButtonDetailsQLOClick();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Stop t° comp");
    EXPECT_FALSE(MoveButtons());

    FormQLO->ButtonTempComp->click();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(one.WaitForCommand("FMMODE", 2s));
    EXPECT_EQ(FormQLO->ButtonTempComp->text(), "Start t° comp");
    EXPECT_EQ(FormMain->LabelTempComp->text(), "");
    EXPECT_FALSE(FormMain->QLO->TempComp);
    EXPECT_TRUE(MoveButtons());
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

// Closing the main window while a move runs ends it at once; the links close as at Disconnect
// All (the focuser is left in manual mode) and nothing is reported.
TEST_F(QLOFormTest, ClosingTheMainWindowDuringAMoveEndsItCleanly) {
    one.SetStepsPerSecond(10);
    Connect(1, one);
    FormQLO->RadioButtonFocuser1->setChecked(true);
    ASSERT_TRUE(Settle());
    FormQLO->ComboMove->setCurrentText("5000");
    FormQLO->ButtonMoveOutClick();
    ASSERT_TRUE(one.WaitForCommand("O05000", 3s));
    ASSERT_TRUE(FormMain->QLO->Moving());
    FormMain->close();
    EXPECT_FALSE(FormMain->QLO->Busy());
    EXPECT_FALSE(FormMain->QLO->Connected());
    ASSERT_TRUE(one.WaitForCommand("FMMODE", 3s, 1));
    Pump(100);
    EXPECT_TRUE(errors.messages.isEmpty());
}
