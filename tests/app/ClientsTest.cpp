// SPDX-License-Identifier: GPL-3.0-or-later
// Four clients of focuser 1 at once, each through its own front: the focuser window's button,
// the phone page, a real INDI client (the INDI library's) and an Alpaca client speaking plain
// HTTP, against the program started as with --connect --remote --indi --alpaca.
#include "AlpacaClient.h"
#include "AlpacaForm.h"
#include "AlpacaHost.h"
#include "AlpacaServer.h"
#include "CommandLine.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "IndiClient.h"
#include "IndiForm.h"
#include "PortList.h"
#include "QLOForm.h"
#include "QLOWebserver.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "WebTestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>

namespace {

constexpr int kWait = 30000;

TFocuserOptions Focuser() {
    TFocuserOptions o;
    o.stepsPerSecond = 400; // every move lasts long enough for the next clients to ask meanwhile
    o.driftPerSecond = 0;
    return o;
}

// The moves that reached the focuser, and the position asks among them: "FPOSRO I00400 ...".
std::string MovesAndAsks(const TSimFocuser& focuser) {
    std::string out;
    bool asked = false; // a position ask right before a move belongs to it
    for (const std::string& c : focuser.Commands()) {
        const bool move = c.size() == 6 && (c[0] == 'I' || c[0] == 'O') &&
                          c.find_first_not_of("0123456789", 1) == std::string::npos;
        if (c == "FPOSRO") {
            asked = true;
            continue;
        }
        if (move) out += std::string(out.empty() ? "" : " ") + (asked ? "FPOSRO " : "") + c;
        asked = false;
    }
    return out;
}

} // namespace

class ClientsTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        previous_ = SetPortSource([this] { return FolderPorts(folder_.path()); });
        QFile::link(QString::fromStdString(focuser.Port()), folder_.filePath("a-focuser"));
        QFile::link(QString::fromStdString(dew.Port()), folder_.filePath("b-dew"));
        FormQLOWS->SetListenAddress(QHostAddress::LocalHost);
        FormQLOWS->SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
        FormIndi->SetListenAddress(QHostAddress::LocalHost);
        FormIndi->SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
        AlpacaHost->Server().SetListenAddress(QHostAddress::LocalHost);
        AlpacaHost->Server().SetDiscoveryPort(0);
        AlpacaHost->Form().SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
        TStartOptions options;
        options.connect = options.remote = options.indi = options.alpaca = true;
        options.port = options.indiPort = options.alpacaPort = 0;
        ApplyStartOptions(options);
        ASSERT_TRUE(WaitFor(
            [] {
                return !FormMain->Searching() && FormIndi->BtnIndiStop->isEnabled() &&
                       AlpacaHost->Server().Listening() && FormQLOWS->HttpServer->isListening();
            },
            60000));
        ASSERT_TRUE(FormQLO->RadioButtonFocuser1->isChecked());
    }
    void TearDown() override {
        FormIndi->BtnIndiStopClick();
        AlpacaHost->Server().Stop();
        FormQLOWS->BtnStopClick();
        if (FormMain->QLO->Connected()) ClickLoadDevices();
        FormsTest::TearDown();
        SetPortSource(previous_);
    }

    TSimFocuser focuser{Focuser()};
    TSimDewController dew;
    ErrorRecorder errors;

  private:
    QTemporaryDir folder_;
    PortSource previous_;
};

// Each client's move waits for the one before it, the focuser receives whole commands and one
// move at a time, and each client hears of its own move's end.
TEST_F(ClientsTest, EveryClientOfAFocuserIsServedInTheOrderAsked) {
    TIndiTestClient indi(FormIndi->SpinEditIndiPort->value());
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto at = indi.Last("Quillo 1", "ABS_FOCUS_POSITION");
            return at && at->state == IPS_OK;
        },
        kWait));
    TAlpacaClient alpaca(AlpacaHost->Server().Port());
    ASSERT_EQ(alpaca.Ask("/api/v1/focuser/0/maxstep")["ErrorNumber"].toInt(), 0);
    TPhone phone(*FormQLOWS);
    ASSERT_TRUE(Settle());
    const int start = focuser.Position();
    focuser.ClearReceived();

    // The window first, then each client while the moves before it still run or wait.
    FormQLO->ComboMove->setCurrentText(QStringLiteral("400"));
    FormQLO->ButtonMoveInClick();
    ASSERT_TRUE(FormMain->QLO->Moving());
    phone.Send("GET /move_out?value=300 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    indi.Forget("Quillo 1", "ABS_FOCUS_POSITION");
    const int indiTarget = start + 500;
    indi.sendNewNumber("Quillo 1", "ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", indiTarget);
    ASSERT_TRUE(
        WaitFor([&] { return indi.Last("Quillo 1", "ABS_FOCUS_POSITION").has_value(); }, kWait));
    EXPECT_EQ(indi.Last("Quillo 1", "ABS_FOCUS_POSITION")->state, IPS_BUSY);
    const int alpacaTarget = start - 200;
    const QJsonObject asked =
        alpaca.AskPut("/api/v1/focuser/0/move", "Position=" + QByteArray::number(alpacaTarget));
    EXPECT_EQ(asked["ErrorNumber"].toInt(), 0) << asked["ErrorMessage"].toString().toStdString();
    EXPECT_TRUE(FormMain->QLO->Moving()) << "the window's move ended before all had asked";

    // The phone's page comes once its own move has ended.
    QStringList page;
    ASSERT_TRUE(WaitFor(
        [&] {
            page += phone.Answers(1);
            return !page.isEmpty();
        },
        kWait));
    EXPECT_EQ(page, QStringList{"200 received cmd: move_out value:300"});
    EXPECT_EQ(MovesAndAsks(focuser).substr(0, 13), "I00400 O00300");

    // INDI's move ends Ok at its target; Alpaca's ends last, and IsMoving says so.
    EXPECT_TRUE(WaitFor(
        [&] {
            const auto at = indi.Last("Quillo 1", "ABS_FOCUS_POSITION");
            return at && at->state != IPS_BUSY;
        },
        kWait));
    const auto indiEnd = indi.Last("Quillo 1", "ABS_FOCUS_POSITION");
    EXPECT_EQ(indiEnd->state, IPS_OK);
    EXPECT_EQ(indiEnd->Number("FOCUS_ABSOLUTE_POSITION"), indiTarget);
    EXPECT_TRUE(WaitFor([&] { return !alpaca.Ask("/api/v1/focuser/0/ismoving")["Value"].toBool(); },
                        kWait));
    EXPECT_EQ(alpaca.Ask("/api/v1/focuser/0/position")["Value"].toInt(), alpacaTarget);
    EXPECT_EQ(focuser.Position(), alpacaTarget);

    // On the wire: whole commands, none while a move ran, the moves in the order asked, the
    // absolute ones measured from where the move before left the focuser.
    EXPECT_EQ(MovesAndAsks(focuser), "I00400 O00300 FPOSRO O00600 FPOSRO I00700");
    EXPECT_EQ(focuser.CommandsDuringMoves(), 0);
    for (const TReceived& r : focuser.Received())
        EXPECT_TRUE(r.complete) << r.text;
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('\n').toStdString();
}

// A go-to queued behind a move goes from where that move left the focuser; a move cut short by
// an unplug still answers its phone, and so do the ones queued behind it; nothing of theirs waits
// for the focuser's return.
TEST_F(ClientsTest, EveryRequestIsAnsweredEvenWhenItsMoveIsCutShort) {
    TAlpacaClient alpaca(AlpacaHost->Server().Port());
    TPhone first(*FormQLOWS), second(*FormQLOWS);
    // A go-to needs a polled position.
    ASSERT_TRUE(WaitFor(
        [] { return !FormMain->QLO->Refusal(focuser::TMoveAsk::To(1)).has_value(); }, kWait));
    ASSERT_TRUE(Settle());
    const int start = focuser.Position();
    first.Send("GET /move_out?value=800 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(FormMain->QLO->Moving());
    second.Send("GET /move_goto?value=" + QByteArray::number(start + 100) +
                " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(first.Answers(1), QStringList{"200 received cmd: move_out value:800"});
    EXPECT_EQ(second.Answers(1),
              QStringList{"200 received cmd: move_goto value:" + QString::number(start + 100)});
    EXPECT_EQ(focuser.Position(), start + 100);

    // A long move, a phone's and Alpaca's behind it, then the cable is pulled.
    first.Send("GET /move_out?value=4000 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    second.Send("GET /move_in?value=10 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(alpaca.AskPut("/api/v1/focuser/0/move", "Position=100")["ErrorNumber"].toInt(), 0);
    ASSERT_TRUE(WaitFor([&] { return focuser.Moving(); }, kWait));
    // The maximum was read at connection: no exchange, no wait behind the move.
    EXPECT_EQ(alpaca.Ask("/api/v1/focuser/0/maxstep")["Value"].toInt(),
              focuser.Settings().maxPosition);
    EXPECT_TRUE(focuser.Moving());
    // Unplugged as the simulator program does it, its link with it.
    const QString port = FormMain->QLO->Link().Port();
    focuser.Unplug();
    QFile::remove(port);
    EXPECT_EQ(first.Answers(1), QStringList{"200 received cmd: move_out value:4000"});
    EXPECT_EQ(second.Answers(1), QStringList{"200 received cmd: move_in value:10"});
    EXPECT_TRUE(WaitFor([&] { return !alpaca.Ask("/api/v1/focuser/0/ismoving")["Value"].toBool(); },
                        kWait));
    EXPECT_TRUE(WaitFor(
        [] { return FormMain->LabelPortStatusQLO->text().startsWith("connection lost"); }, kWait));
    // Asked of the lost focuser: answered at once, and nothing waits for its return.
    second.Send("GET /move_in?value=10 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(second.Answers(1), QStringList{"200 received cmd: move_in value:10"});
    EXPECT_FALSE(FormMain->QLO->Engaged());
    Pump(1500); // the cable stays out a little
    focuser.Plug();
    QFile::link(QString::fromStdString(focuser.Port()), port);
    EXPECT_TRUE(WaitFor([] { return FormMain->QLO->Ready(); }, kWait));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('\n').toStdString();
}

// The program's end during exchanges: a move cut by an unplug, a phone's waiting behind it. Both
// unwind while every window is there; the phone still hears of its move.
TEST_F(ClientsTest, ClosingTheProgramDuringExchangesEndsThemCleanly) {
    TPhone phone(*FormQLOWS);
    ASSERT_TRUE(Settle());
    FormQLO->ComboMove->setCurrentText(QStringLiteral("4000"));
    FormQLO->ButtonMoveOutClick();
    phone.Send("GET /move_in?value=10 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(WaitFor([&] { return focuser.Moving(); }, kWait));
    focuser.Unplug();
    FormMain->close();
    EXPECT_EQ(phone.Answers(1), QStringList{"200 received cmd: move_in value:10"});
    EXPECT_FALSE(FormMain->QLO->Engaged());
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('\n').toStdString();
}
