// SPDX-License-Identifier: GPL-3.0-or-later
// The program's Alpaca server on 127.0.0.1 driving simulated accessories on pseudo-terminals,
// with plain HTTP requests as an Alpaca client sends them.
#include "AlpacaClient.h"
#include "AlpacaForm.h"
#include "AlpacaHost.h"
#include "AlpacaServer.h"
#include "CommandLine.h"
#include "DewReplies.h"
#include "FormsFixture.h"
#include "PortList.h"
#include "QLOWebserver.h"
#include "SimDew.h"
#include "SimFocuser.h"

#include <QCoroTask>
#include <QCoroTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <sstream>

using namespace std::chrono_literals;

namespace {

constexpr double kStepsPerSecond = 1000;

TFocuserOptions FastFocuser() {
    TFocuserOptions o;
    o.stepsPerSecond = kStepsPerSecond;
    return o;
}

TDewOptions SteadyNight() {
    TDewOptions o;
    o.ambient = 9.5;
    o.humidity = 62.5;
    o.ambientDriftPerSecond = 0;
    o.humidityDriftPerSecond = 0;
    return o;
}

qsizetype DebugCount(const QString& text) {
    const QStringList texts = Texts(FormMain->memoDebugLogs);
    return std::count_if(texts.begin(), texts.end(),
                         [&](const QString& t) { return t.contains(text); });
}

} // namespace

class AlpacaAppTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        previous_ = SetPortSource([this] { return FolderPorts(folder_.path()); });
        QFile::link(QString::fromStdString(focuser.Port()), folder_.filePath("focuser"));
        QFile::link(QString::fromStdString(dew.Port()), folder_.filePath("dew"));
        TAlpacaServer& server = AlpacaHost->Server();
        server.SetListenAddress(QHostAddress::LocalHost);
        server.SetDiscoveryPort(0);
        AlpacaHost->Form().SetAddressSource([] { return QStringLiteral("127.0.0.1"); });
        // As the program runs with --connect --alpaca --alpaca-port 0, tracking on.
        TStartOptions options;
        options.connect = options.alpaca = true;
        options.alpacaPort = 0;
        ApplyStartOptions(options);
        ASSERT_TRUE(WaitFor([&] { return server.Listening() && !FormMain->Searching(); }, 60000));
        ASSERT_TRUE(FormMain->QLO->Connected());
        ASSERT_TRUE(FormMain->BRS->Connected());
        // The first frame, and focuser 1's first position reading.
        ASSERT_TRUE(
            WaitFor([&] { return Client().Ask(kHumidity)["ErrorNumber"].toInt() == 0; }, 10000));
        port_ = server.Port();
    }
    void TearDown() override {
        AlpacaHost->Server().Stop();
        if (FormMain->QLO->Connected()) ClickLoadDevices();
        FormsTest::TearDown();
        SetPortSource(previous_);
    }
    TAlpacaClient& Client() {
        if (!client_) client_ = std::make_unique<TAlpacaClient>(AlpacaHost->Server().Port());
        return *client_;
    }
    QJsonValue Value(const QByteArray& target) {
        const QJsonObject answer = Client().Ask(target);
        EXPECT_EQ(answer["ErrorNumber"].toInt(), 0)
            << target.toStdString() << ": " << answer["ErrorMessage"].toString().toStdString();
        return answer["Value"];
    }

    static constexpr const char* kHumidity = "/api/v1/observingconditions/0/humidity";
    TSimFocuser focuser{FastFocuser()};
    TSimDewController dew{SteadyNight()};
    QTemporaryDir folder_;
    PortSource previous_;
    std::unique_ptr<TAlpacaClient> client_;
    quint16 port_ = 0;
};

TEST_F(AlpacaAppTest, AMoveReturnsAtOnceAndEndsAtItsTargetWhileTheRestGoesOn) {
    FormQLOWS->SetServerPort(0);
    FormQLOWS->SetListenAddress(QHostAddress::LocalHost);
    FormQLOWS->SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
    FormQLOWS->BtnStartClick();
    ASSERT_TRUE(FormQLOWS->HttpServer->isListening());

    EXPECT_EQ(Value("/api/v1/focuser/0/position").toInt(), focuser.Position());
    EXPECT_EQ(Value("/api/v1/focuser/0/maxstep").toInt(), focuser.Settings().maxPosition);
    const int target = focuser.Position() + int(3 * kStepsPerSecond); // a move of 3 s
    QElapsedTimer answered;
    answered.start();
    const QJsonObject moved =
        Client().AskPut("/api/v1/focuser/0/move", "Position=" + QByteArray::number(target) +
                                                      "&ClientID=9&ClientTransactionID=41");
    const qint64 answerMs = answered.elapsed();
    EXPECT_EQ(moved["ErrorNumber"].toInt(), 0) << moved["ErrorMessage"].toString().toStdString();
    EXPECT_EQ(moved["ClientTransactionID"].toInt(), 41);
    // Answered before the move could have ended.
    EXPECT_LT(answerMs, 3000);
    EXPECT_TRUE(Value("/api/v1/focuser/0/ismoving").toBool());
    // A second move while the first runs waits for its turn, and starts where the first ended.
    EXPECT_EQ(Client()
                  .AskPut("/api/v1/focuser/0/move",
                          "Position=" + QByteArray::number(target - 500))["ErrorNumber"]
                  .toInt(),
              0);

    // Meanwhile the main window's panels, the dew controller's polling and the phone page go on.
    const qsizetype frames = DebugCount(QStringLiteral("!!Début et fin trouvés"));
    EXPECT_TRUE(WaitFor(
        [&] { return DebugCount(QStringLiteral("!!Début et fin trouvés")) > frames; }, 10000));
    TAlpacaClient phone(FormQLOWS->ServerPort());
    phone.Get("/");
    EXPECT_EQ(phone.Next().status, 200);
    EXPECT_TRUE(FormMain->isEnabled());

    EXPECT_TRUE(WaitFor([&] { return !Value("/api/v1/focuser/0/ismoving").toBool(); }, 30000));
    EXPECT_EQ(focuser.Position(), target - 500);
    EXPECT_EQ(Value("/api/v1/focuser/0/position").toInt(), target - 500);
    EXPECT_TRUE(focuser.WaitForCommand("I00500", 0s));
    FormQLOWS->BtnStopClick();
}

TEST_F(AlpacaAppTest, ConditionsAndOutputsAsTheControllerHasThem) {
    EXPECT_DOUBLE_EQ(Value(kHumidity).toDouble(), 62.5);
    EXPECT_NEAR(Value("/api/v1/observingconditions/0/dewpoint").toDouble(), DewPoint(9.5, 62.5),
                0.01);
    EXPECT_DOUBLE_EQ(Value("/api/v1/observingconditions/0/temperature").toDouble(), 9.5);
    EXPECT_LT(
        Value("/api/v1/observingconditions/0/timesincelastupdate?SensorName=Humidity").toDouble(),
        10);
    EXPECT_EQ(Client().Ask("/api/v1/observingconditions/0/pressure")["ErrorNumber"].toInt(), 0x400);
    EXPECT_EQ(Value("/api/v1/observingconditions/0/supportedactions").toArray(),
              (QJsonArray{QStringLiteral("Probes"), QStringLiteral("History")}));
    const QJsonObject probes =
        Client().AskPut("/api/v1/observingconditions/0/action", "Action=probes&Parameters=");
    EXPECT_EQ(probes["ErrorNumber"].toInt(), 0) << probes["ErrorMessage"].toString().toStdString();
    const QJsonObject probe = QJsonDocument::fromJson(probes["Value"].toString().toUtf8()).object();
    EXPECT_TRUE(probe["Probe1"].isDouble() && probe["Probe2"].isDouble());
    EXPECT_EQ(Client()
                  .AskPut("/api/v1/observingconditions/0/action",
                          "Action=Other&Parameters=")["ErrorNumber"]
                  .toInt(),
              0x40C);

    dew.ClearReceived();
    const QJsonObject set = Client().AskPut("/api/v1/switch/0/setswitchvalue", "Id=1&Value=70");
    EXPECT_EQ(set["ErrorNumber"].toInt(), 0) << set["ErrorMessage"].toString().toStdString();
    EXPECT_TRUE(dew.WaitForCommand("S2O070", 5s));
    EXPECT_EQ(Value("/api/v1/switch/0/getswitchvalue?Id=1").toDouble(), 70);
    EXPECT_TRUE(WaitFor([&] { return dew.Readings().output[1] == 70; }, 5000));
    EXPECT_EQ(Value("/api/v1/switch/0/getswitchname?Id=1").toString(), "Output 2");
    EXPECT_EQ(
        Client().AskPut("/api/v1/switch/0/setswitchvalue", "Id=1&Value=170")["ErrorNumber"].toInt(),
        0x401);
    EXPECT_EQ(
        Client().AskPut("/api/v1/switch/0/setswitchvalue", "Id=7&Value=10")["ErrorNumber"].toInt(),
        0x401);

    // Automatic mode owns outputs 1 and 2: they are not written, and say so.
    const QJsonObject automatic = Client().AskPut("/api/v1/switch/0/setswitch", "Id=3&State=true");
    EXPECT_EQ(automatic["ErrorNumber"].toInt(), 0)
        << automatic["ErrorMessage"].toString().toStdString();
    EXPECT_TRUE(WaitFor([&] { return dew.Settings().automatic; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return !Value("/api/v1/switch/0/canwrite?Id=0").toBool(); }, 10000));
    EXPECT_EQ(
        Client().AskPut("/api/v1/switch/0/setswitchvalue", "Id=0&Value=30")["ErrorNumber"].toInt(),
        0x400);
    EXPECT_TRUE(Value("/api/v1/switch/0/canwrite?Id=2").toBool());
}

TEST_F(AlpacaAppTest, ConnectedFollowsSkyvarnsLinks) {
    EXPECT_TRUE(Value("/api/v1/focuser/0/connected").toBool());
    // Focuser 2 was not found.
    EXPECT_FALSE(Value("/api/v1/focuser/1/connected").toBool());
    const QJsonObject refused = Client().AskPut("/api/v1/focuser/1/connected", "Connected=true");
    EXPECT_EQ(refused["ErrorNumber"].toInt(), 0x407);
    EXPECT_TRUE(refused["ErrorMessage"].toString().contains("press Connect All"));
    // A client's disconnect is its own: Skyvarn's link stays open, and the other clients and
    // the phone app (which never sets Connected) go on.
    EXPECT_EQ(
        Client()
            .AskPut("/api/v1/focuser/0/connected", "Connected=false&ClientID=12")["ErrorNumber"]
            .toInt(),
        0);
    EXPECT_TRUE(FormMain->QLO->Connected());
    EXPECT_FALSE(Value("/api/v1/focuser/0/connected?ClientID=12").toBool());
    EXPECT_EQ(Client().Ask("/api/v1/focuser/0/position?ClientID=12")["ErrorNumber"].toInt(), 0x407);
    EXPECT_EQ(Value("/api/v1/focuser/0/name?ClientID=12").toString(), "Quillo 1");
    EXPECT_TRUE(Value("/api/v1/focuser/0/connected?ClientID=13").toBool());
    EXPECT_TRUE(Value("/api/v1/focuser/0/connected").toBool());
    EXPECT_EQ(Value("/api/v1/focuser/0/position?ClientID=13").toInt(), focuser.Position());
    // Connect gives it back at once.
    EXPECT_EQ(Client().AskPut("/api/v1/focuser/0/connect", "ClientID=12")["ErrorNumber"].toInt(),
              0);
    EXPECT_FALSE(Value("/api/v1/focuser/0/connecting?ClientID=12").toBool());
    EXPECT_EQ(Value("/api/v1/focuser/0/position?ClientID=12").toInt(), focuser.Position());

    ClickLoadDevices(); // Disconnect All
    EXPECT_FALSE(Value("/api/v1/focuser/0/connected").toBool());
    EXPECT_EQ(Client().Ask("/api/v1/focuser/0/position")["ErrorNumber"].toInt(), 0x407);
    EXPECT_EQ(Client().Ask(kHumidity)["ErrorNumber"].toInt(), 0x407);
}

TEST_F(AlpacaAppTest, TheWindowShowsTheAppsAddressAndItsQrCode) {
    TFormAlpaca& form = AlpacaHost->Form();
    EXPECT_EQ(form.AppUrl(), form.ServerUrl() + "/");
    EXPECT_TRUE(form.LabelAlpacaApp->text().endsWith(form.AppUrl()));
    EXPECT_FALSE(form.ImageAlpacaAppQr->pixmap().isNull());
    EXPECT_GE(form.ImageAlpacaAppQr->pixmap().width(), 33 * 4);
}

TEST_F(AlpacaAppTest, DiscoveryAnswersOnTheWindowsPortFromTheNextStart) {
    TFormAlpaca& form = AlpacaHost->Form();
    QUdpSocket free; // a port that nobody holds once it is closed
    ASSERT_TRUE(free.bind(QHostAddress::LocalHost, 0));
    const quint16 port = free.localPort();
    free.close();
    form.SpinEditAlpacaDiscoveryPort->setValue(port); // while the server runs
    form.BtnAlpacaStopClick();
    form.BtnAlpacaStartClick();
    EXPECT_TRUE(form.LabelAlpacaHelp->text().contains(QStringLiteral("UDP port %1").arg(port)));
    EXPECT_EQ(Discover(QHostAddress::LocalHost, port, "alpacadiscovery1", 10000),
              "{\"AlpacaPort\":" + QByteArray::number(AlpacaHost->Server().Port()) + "}");
}

TEST_F(AlpacaAppTest, PlatformSevenInterfacesAndTheirDeviceState) {
    EXPECT_EQ(Value("/api/v1/focuser/0/interfaceversion").toInt(), 4);
    EXPECT_EQ(Value("/api/v1/observingconditions/0/interfaceversion").toInt(), 2);
    EXPECT_EQ(Value("/api/v1/switch/0/interfaceversion").toInt(), 3);
    auto names = [&](const QByteArray& target) {
        QStringList list;
        for (const QJsonValue& item : Value(target).toArray())
            list.append(item["Name"].toString());
        return list;
    };
    // Position and Temperature once read: never waited for.
    EXPECT_TRUE(WaitFor(
        [&] {
            return names("/api/v1/focuser/0/devicestate") ==
                   QStringList{"IsMoving", "Position", "Temperature", "TimeStamp"};
        },
        10000));
    EXPECT_EQ(names("/api/v1/observingconditions/0/devicestate"),
              (QStringList{"DewPoint", "Humidity", "Temperature", "TimeStamp"}));
    const QStringList switches = names("/api/v1/switch/0/devicestate");
    EXPECT_EQ(switches.size(), 3 * 5 + 1);
    EXPECT_EQ(switches.first(), "GetSwitch0");
    EXPECT_TRUE(switches.contains("GetSwitchValue4"));
    EXPECT_TRUE(switches.contains("StateChangeComplete2"));
    EXPECT_EQ(switches.last(), "TimeStamp");
}

TEST_F(AlpacaAppTest, PositionAnswersAtOnceDuringAMove) {
    focuser.SetStepsPerSecond(2000);
    const int start = Value("/api/v1/focuser/0/position").toInt();
    const int target = start + 8000; // a move of 4 s
    ASSERT_EQ(Client()
                  .AskPut("/api/v1/focuser/0/move",
                          "Position=" + QByteArray::number(target))["ErrorNumber"]
                  .toInt(),
              0);
    ASSERT_TRUE(WaitFor([&] { return focuser.Moving(); }, 5000));
    for (int i = 0; i < 3 && focuser.Moving(); ++i) {
        QElapsedTimer answered;
        answered.start();
        EXPECT_EQ(Value("/api/v1/focuser/0/position").toInt(), start);
        EXPECT_LT(answered.elapsed(), 500);
        EXPECT_TRUE(Value("/api/v1/focuser/0/ismoving").toBool());
        QCoro::waitFor(QCoro::sleepFor(200ms));
    }
    EXPECT_TRUE(WaitFor([&] { return !Value("/api/v1/focuser/0/ismoving").toBool(); }, 30000));
    EXPECT_EQ(Value("/api/v1/focuser/0/position").toInt(), target);
}

TEST_F(AlpacaAppTest, ASwitchWriteIsHeldOnceItIsAnswered) {
    // Synchronous: read back as written as soon as it is answered.
    for (int value : {30, 100, 0}) {
        const QJsonObject set = Client().AskPut("/api/v1/switch/0/setswitchvalue",
                                                "Id=2&Value=" + QByteArray::number(value));
        ASSERT_EQ(set["ErrorNumber"].toInt(), 0) << set["ErrorMessage"].toString().toStdString();
        EXPECT_EQ(Value("/api/v1/switch/0/getswitchvalue?Id=2").toDouble(), value);
        EXPECT_EQ(Value("/api/v1/switch/0/getswitch?Id=2").toBool(), value > 50);
        EXPECT_EQ(dew.Readings().output[2], value);
    }
    ASSERT_EQ(
        Client().AskPut("/api/v1/switch/0/setswitch", "Id=4&State=true")["ErrorNumber"].toInt(), 0);
    EXPECT_TRUE(Value("/api/v1/switch/0/getswitch?Id=4").toBool());
    EXPECT_TRUE(dew.Settings().linked);

    // Asynchronous: answered at once, complete once the controller holds it.
    EXPECT_TRUE(Value("/api/v1/switch/0/canasync?Id=1").toBool());
    QElapsedTimer answered;
    answered.start();
    ASSERT_EQ(
        Client().AskPut("/api/v1/switch/0/setasyncvalue", "Id=1&Value=60")["ErrorNumber"].toInt(),
        0);
    EXPECT_LT(answered.elapsed(), 1000);
    EXPECT_TRUE(WaitFor([&] { return Value("/api/v1/switch/0/statechangecomplete?Id=1").toBool(); },
                        15000));
    EXPECT_EQ(Value("/api/v1/switch/0/getswitchvalue?Id=1").toDouble(), 60);
    EXPECT_EQ(dew.Readings().output[1], 60);
    EXPECT_EQ(
        Client().AskPut("/api/v1/switch/0/setasyncvalue", "Id=1&Value=101")["ErrorNumber"].toInt(),
        0x401);
    EXPECT_EQ(Client().AskPut("/api/v1/switch/0/cancelasync", "Id=1")["ErrorNumber"].toInt(),
              0x400);
    EXPECT_EQ(Client().Ask("/api/v1/switch/0/statechangecomplete?Id=9")["ErrorNumber"].toInt(),
              0x401);
}
