// SPDX-License-Identifier: GPL-3.0-or-later
// The phone page against a simulated focuser through the real windows, and the start options
// that set it up on a machine without a screen.
#include "CommandLine.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "MainForm.h"
#include "PortList.h"
#include "QLOForm.h"
#include "QrRead.h"
#include "SimFocuser.h"
#include "WebTestSupport.h"

#include <QFile>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sstream>

namespace {

// The moves that reached the focuser ("I00010", "O00050"), whatever else the connection, the
// selection and the tracking sent around them.
std::vector<std::string> Moves(const TSimFocuser& focuser) {
    std::vector<std::string> moves;
    for (const std::string& c : focuser.Commands())
        if (c.size() == 6 && (c[0] == 'I' || c[0] == 'O') &&
            c.find_first_not_of("0123456789", 1) == std::string::npos)
            moves.push_back(c);
    return moves;
}

} // namespace

class RemoteTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        previous_ = SetPortSource([this] { return FolderPorts(folder_.path()); });
        QFile::link(QString::fromStdString(focuser.Port()), folder_.filePath("focuser"));
        FormQLOWS->SetServerPort(0);
        FormQLOWS->SetListenAddress(QHostAddress::LocalHost);
        FormQLOWS->SetAddressSource([this] { return address; });
    }
    void TearDown() override {
        FormQLOWS->BtnStopClick();
        if (FormMain->QLO->Connected()) ClickLoadDevices();
        FormsTest::TearDown();
        SetPortSource(previous_);
    }
    void Run(bool connect, bool remote) {
        Await(RunStartOptions({connect, remote, 0, {}}, out, err));
        focuser.ClearReceived();
    }
    // One request on a new connection; its page's message.
    QString Get(const QByteArray& path) {
        TPhone phone(*FormQLOWS);
        phone.Send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        const QStringList answers = phone.Answers(1);
        return answers.value(0);
    }
    static TFocuserOptions Options() {
        TFocuserOptions o;
        o.stepsPerSecond = 5000;
        o.driftPerSecond = 0;
        return o;
    }

    TSimFocuser focuser{Options()};
    QString address = QStringLiteral("192.168.1.20");
    std::ostringstream out, err;
    ErrorRecorder errors;

  private:
    QTemporaryDir folder_;
    PortSource previous_;
};

TEST(StartOptions, ArgumentsAreReadOrRefused) {
    const struct {
        QStringList arguments;
        std::optional<int> code;
        bool connect, remote;
        int port;
        QString record;
        bool alpaca = false;
        int alpacaPort = 11111;
        bool indi = false;
        int indiPort = 7624;
    } cases[] = {
        {{}, {}, false, false, 1321, ""},
        {{"--connect", "--remote"}, {}, true, true, 1321, ""},
        {{"--remote", "--port", "8080"}, {}, false, true, 8080, ""},
        {{"--port=0"}, {}, false, false, 0, ""},
        {{"--connect", "--record", "night.csv"}, {}, true, false, 1321, "night.csv"},
        {{"--port", "65536"}, 2, false, false, 1321, ""},
        {{"--port", "12ab"}, 2, false, false, 1321, ""},
        {{"--port"}, 2, false, false, 1321, ""},
        {{"--record"}, 2, false, false, 1321, ""},
        {{"--record="}, 2, false, false, 1321, ""},
        {{"--bogus"}, 2, false, false, 1321, ""},
        {{"connect"}, 2, false, false, 1321, ""},
        {{"--help", "--connect"}, 0, false, false, 1321, ""},
        {{"--connect", "--alpaca"}, {}, true, false, 1321, "", true},
        {{"--alpaca", "--alpaca-port", "0", "--remote"}, {}, false, true, 1321, "", true, 0},
        {{"--alpaca-port=11112"}, {}, false, false, 1321, "", false, 11112},
        {{"--alpaca-port", "70000"}, 2, false, false, 1321, ""},
        {{"--alpaca-port", "x"}, 2, false, false, 1321, ""},
        {{"--connect", "--indi"}, {}, true, false, 1321, "", false, 11111, true, 7624},
        {{"--indi", "--indi-port", "0", "--port", "8080"},
         {},
         false,
         false,
         8080,
         "",
         false,
         11111,
         true,
         0},
        {{"--indi-port", "-1"}, 2, false, false, 1321, ""},
    };
    for (const auto& c : cases) {
        const std::string line = c.arguments.join(' ').toStdString();
        TStartOptions options;
        EXPECT_EQ(ReadStartOptions(QStringList{"skyvarn"} + c.arguments, options), c.code) << line;
        if (c.code) continue;
        EXPECT_EQ(options.connect, c.connect) << line;
        EXPECT_EQ(options.remote, c.remote) << line;
        EXPECT_EQ(options.port, c.port) << line;
        EXPECT_EQ(options.record, c.record) << line;
        EXPECT_EQ(options.alpaca, c.alpaca) << line;
        EXPECT_EQ(options.alpacaPort, c.alpacaPort) << line;
        EXPECT_EQ(options.indi, c.indi) << line;
        EXPECT_EQ(options.indiPort, c.indiPort) << line;
    }
}

// --connect --remote: focuser 1 is found and selected, the printed QR code reads as the window's,
// and the page's moves reach the focuser before the page comes back.
TEST_F(RemoteTest, ConnectAndRemoteLetThePageMoveFocuserOne) {
    Run(true, true);
    ASSERT_TRUE(FormQLOWS->HttpServer->isListening()) << err.str();
    EXPECT_TRUE(FormQLO->RadioButtonFocuser1->isChecked());
    EXPECT_EQ(err.str(), "");

    const QString url = "http://192.168.1.20:" + QString::number(FormQLOWS->ServerPort());
    const QStringList printed = QString::fromStdString(out.str()).split('\n');
    ASSERT_EQ(printed.size(), 19); // the address, 17 lines of half blocks, the final line end
    EXPECT_EQ(printed[0], "Phone control page: " + url);
    EXPECT_EQ(Decoded(Rasterised(printed.mid(1).join('\n'))), url.toStdString());
    EXPECT_EQ(Decoded(FormQLOWS->PaintBox1->grab().toImage()), url.toStdString());

    const int start = focuser.Position();
    EXPECT_EQ(Get("/move_in?value=10"), "200 received cmd: move_in value:10");
    EXPECT_EQ(focuser.Position(), start - 10); // the page came after the end of the move
    EXPECT_EQ(Moves(focuser), std::vector<std::string>{"I00010"});

    // Go-to measures from the last polled position.
    ASSERT_TRUE(WaitFor([&] { return FormMain->QLO->Position == start - 10; }, 5000));
    focuser.ClearReceived();
    const QByteArray target = QByteArray::number(start - 10 + 50);
    EXPECT_EQ(Get("/move_goto?value=" + target),
              "200 received cmd: move_goto value:" + QString::fromLatin1(target));
    EXPECT_EQ(Moves(focuser), std::vector<std::string>{"O00050"});
    EXPECT_EQ(focuser.Position(), start + 40);
}

TEST_F(RemoteTest, WithNoFocuserSelectedThePageStillComesAndNothingMoves) {
    Run(true, false); // --connect alone selects nothing
    ASSERT_TRUE(FormMain->QLO->Connected());
    EXPECT_FALSE(FormQLO->RadioButtonFocuser1->isChecked());
    FormQLOWS->BtnStartClick();
    ASSERT_TRUE(FormQLOWS->HttpServer->isListening());
    const int start = focuser.Position();
    EXPECT_EQ(Get("/move_in?value=10"), "200 received cmd: move_in value:10");
    Pump(150); // a command on its way would be recorded
    EXPECT_EQ(Moves(focuser), std::vector<std::string>{});
    EXPECT_EQ(focuser.Position(), start);
    EXPECT_EQ(out.str(), "");
}

// A refused or failed start is said on the error output; nothing is printed and the program
// goes on with the window stopped.
TEST_F(RemoteTest, AStartThatCannotServeSaysWhyAndPrintsNothing) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
    const struct {
        QString address;
        quint16 port;
        std::string said;
    } cases[] = {
        {"127.0.0.1", 0, "skyvarn: Connexion unavailable, please connect to your WiFi router\n"},
        {"No. IP Address", 0,
         "skyvarn: Connexion unavailable, please connect to your WiFi router\n"},
        {"192.168.1.20", taken.serverPort(),
         "skyvarn: the phone control server did not start: Erreur socket : Address already in "
         "use (98), avec l'API 'bind'\n"},
    };
    for (const auto& c : cases) {
        address = c.address;
        FormQLOWS->SetServerPort(c.port);
        out.str("");
        err.str("");
        Run(false, true);
        EXPECT_EQ(err.str(), c.said) << c.address.toStdString();
        EXPECT_EQ(out.str(), "") << c.address.toStdString();
        EXPECT_FALSE(FormQLOWS->HttpServer->isListening()) << c.address.toStdString();
        EXPECT_TRUE(FormQLOWS->BtnStart->isEnabled()) << c.address.toStdString();
    }
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('\n').toStdString();
}
