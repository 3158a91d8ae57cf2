// SPDX-License-Identifier: GPL-3.0-or-later
// Skyvarn started as with --connect --indi against simulated accessories, and real INDI clients
// (the INDI library's BaseClient) on 127.0.0.1 using its focusers and dew controller.
#include "Server.h"
#include "CommandLine.h"
#include "FormsFixture.h"
#include "IndiClient.h"
#include "IndiForm.h"
#include "MainForm.h"
#include "PortList.h"
#include "QLOWebserver.h"
#include "SimDew.h"
#include "SimFocuser.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <sstream>

namespace {

constexpr int kWait = 20000;

// The moves that reached the focuser ("I00200", "O00500").
std::vector<std::string> Moves(const TSimFocuser& focuser) {
    std::vector<std::string> moves;
    for (const std::string& c : focuser.Commands())
        if (c.size() == 6 && (c[0] == 'I' || c[0] == 'O') &&
            c.find_first_not_of("0123456789", 1) == std::string::npos)
            moves.push_back(c);
    return moves;
}

bool Has(const TIndiTestClient& client, const std::string& device, const std::string& property) {
    return client.Last(device, property).has_value();
}

// The states a property went through from its first Busy, repeats dropped: "Busy Ok".
std::string States(const std::vector<TIndiTestClient::Seen>& history) {
    std::string out;
    IPState last = IPState(-1);
    for (const auto& seen : history) {
        if (seen.state == last || (out.empty() && seen.state != IPS_BUSY)) continue;
        last = seen.state;
        out += std::string(out.empty() ? "" : " ") + pstateStr(seen.state);
    }
    return out;
}

} // namespace

class IndiServerTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        previous_ = SetPortSource([this] { return FolderPorts(folder_.path()); });
        QFile::link(QString::fromStdString(focuser.Port()), folder_.filePath("focuser"));
        QFile::link(QString::fromStdString(dew.Port()), folder_.filePath("dew"));
        FormIndi->SetListenAddress(QHostAddress::LocalHost);
        FormIndi->SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
        TStartOptions options;
        options.connect = true;
        options.indi = true;
        options.indiPort = 0;
        ApplyStartOptions(options);
        ASSERT_TRUE(WaitFor([] { return FormIndi->BtnIndiStop->isEnabled(); }, 60000))
            << err.str() << errors.messages.join('\n').toStdString();
        ASSERT_TRUE(Settle());
        port = FormIndi->SpinEditIndiPort->value();
    }
    void TearDown() override {
        FormIndi->BtnIndiStopClick();
        FormQLOWS->BtnStopClick();
        if (FormMain->QLO->Connected()) ClickLoadDevices();
        FormsTest::TearDown();
        SetPortSource(previous_);
    }
    // A client that has learnt focuser 1's and the dew controller's properties.
    std::unique_ptr<TIndiTestClient> Client() {
        auto client = std::make_unique<TIndiTestClient>(port);
        EXPECT_TRUE(WaitFor(
            [&] {
                const auto position = client->Last("Quillo 1", "ABS_FOCUS_POSITION");
                return Has(*client, "Quillo 1", "FOCUS_TEMPERATURE_COMPENSATION") &&
                       Has(*client, "Brisella", "DEW_OUTPUTS_LINKED") && position &&
                       position->state == IPS_OK;
            },
            kWait));
        return client;
    }
    // An absolute move asked by client and seen through to its end by watcher.
    void MoveTo(TIndiTestClient& client, TIndiTestClient& watcher, int target) {
        watcher.Forget("Quillo 1", "ABS_FOCUS_POSITION");
        client.sendNewNumber("Quillo 1", "ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", target);
        ASSERT_TRUE(WaitFor(
            [&] {
                const auto last = watcher.Last("Quillo 1", "ABS_FOCUS_POSITION");
                return last && last->state == IPS_OK;
            },
            kWait));
    }
    static TFocuserOptions Slow() {
        TFocuserOptions o;
        o.stepsPerSecond = 200; // 500 steps take 2.5 s: the dew controller is polled meanwhile
        o.driftPerSecond = 0;
        return o;
    }

    TSimFocuser focuser{Slow()};
    TSimDewController dew;
    int port = 0;
    std::ostringstream err;
    ErrorRecorder errors;

  private:
    QTemporaryDir folder_;
    PortSource previous_;
};

// The devices with the properties clients rely on, the readings as the simulators send them,
// and the moves as the focuser receives them: Busy at once, Ok at the target.
TEST_F(IndiServerTest, AClientSeesTheAccessoriesAndMovesFocuserOne) {
    auto client = Client();
    EXPECT_EQ(client->Devices(), (std::set<std::string>{"Quillo 1", "Brisella"}));
    const struct {
        const char* device;
        std::vector<const char*> properties;
    } expected[] = {
        {"Quillo 1",
         {"CONNECTION", "DRIVER_INFO", "DEVICE_PORT", "ABS_FOCUS_POSITION", "REL_FOCUS_POSITION",
          "FOCUS_MOTION", "FOCUS_MAX", "FOCUS_TEMPERATURE", "FOCUS_TEMPERATURE_COMPENSATION"}},
        {"Brisella",
         {"CONNECTION", "DRIVER_INFO", "DEVICE_PORT", "WEATHER_PARAMETERS", "PROBE_TEMPERATURES",
          "DEW_DUTY_CYCLES", "AUTO_DEW_CONTROL", "DEW_OUTPUTS_LINKED"}},
    };
    for (const auto& e : expected)
        for (const char* p : e.properties)
            EXPECT_TRUE(Has(*client, e.device, p)) << e.device << " " << p;
    EXPECT_FALSE(Has(*client, "Quillo 1", "FOCUS_ABORT_MOTION"));
    EXPECT_EQ(client->Last("Quillo 1", "DRIVER_INFO")->values["DRIVER_INTERFACE"], "8");
    EXPECT_EQ(client->Last("Brisella", "DRIVER_INFO")->values["DRIVER_INTERFACE"],
              std::to_string((1 << 7) | (1 << 15)));
    EXPECT_EQ(client->Last("Quillo 1", "FOCUS_MAX")->Number("FOCUS_MAX_VALUE"),
              focuser.Settings().maxPosition);

    // Readings follow the polling.
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto t = client->Last("Quillo 1", "FOCUS_TEMPERATURE");
            const auto w = client->Last("Brisella", "WEATHER_PARAMETERS");
            return t && std::abs(t->Number("TEMPERATURE") - focuser.Temperature()) < 0.01 && w &&
                   w->state == IPS_OK;
        },
        kWait));
    const TDewReadings r = dew.Readings();
    const auto weather = client->Last("Brisella", "WEATHER_PARAMETERS");
    EXPECT_NEAR(weather->Number("WEATHER_HUMIDITY"), r.humidity, 0.051);
    EXPECT_NEAR(weather->Number("WEATHER_DEWPOINT"), r.dewPoint, 0.0051);

    // While the move runs, the dew controller is polled, the window shows it and the phone page
    // answers.
    FormQLOWS->SetListenAddress(QHostAddress::LocalHost);
    FormQLOWS->SetServerPort(0);
    FormQLOWS->SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
    FormQLOWS->BtnStartClick();
    const int start = focuser.Position();
    focuser.ClearReceived();
    client->Forget("Quillo 1", "ABS_FOCUS_POSITION");
    client->sendNewNumber("Quillo 1", "ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", start + 500);
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto last = client->Last("Quillo 1", "ABS_FOCUS_POSITION");
            return last && last->state == IPS_BUSY;
        },
        kWait));
    dew.SetHumidity(91.5);
    QTcpSocket phone;
    phone.connectToHost(QHostAddress::LocalHost, FormQLOWS->ServerPort());
    phone.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray page;
    EXPECT_TRUE(WaitFor(
        [&] {
            page += phone.readAll();
            const auto w = client->Last("Brisella", "WEATHER_PARAMETERS");
            return page.startsWith("HTTP/1.1 200") && w && w->Number("WEATHER_HUMIDITY") == 91.5 &&
                   FormMain->LabelBRSHumidityValue->text().startsWith("91.5");
        },
        kWait));
    EXPECT_TRUE(focuser.Moving()) << "the move ended before the dew controller was polled";
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto last = client->Last("Quillo 1", "ABS_FOCUS_POSITION");
            return last && last->state == IPS_OK;
        },
        kWait));
    EXPECT_EQ(States(client->History("Quillo 1", "ABS_FOCUS_POSITION")), "Busy Ok");
    EXPECT_EQ(client->Last("Quillo 1", "ABS_FOCUS_POSITION")->Number("FOCUS_ABSOLUTE_POSITION"),
              start + 500);
    EXPECT_EQ(Moves(focuser), std::vector<std::string>{"O00500"});
    EXPECT_EQ(focuser.Position(), start + 500);

    // Inward by 200: the direction first, as Ekos sends it.
    focuser.ClearReceived();
    client->Forget("Quillo 1", "REL_FOCUS_POSITION");
    client->Choose("Quillo 1", "FOCUS_MOTION", "FOCUS_INWARD");
    client->sendNewNumber("Quillo 1", "REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION", 200);
    ASSERT_TRUE(WaitFor(
        [&] { return States(client->History("Quillo 1", "REL_FOCUS_POSITION")) == "Busy Ok"; },
        kWait));
    EXPECT_EQ(client->Last("Quillo 1", "ABS_FOCUS_POSITION")->Number("FOCUS_ABSOLUTE_POSITION"),
              start + 300);
    EXPECT_EQ(Moves(focuser), std::vector<std::string>{"I00200"});

    // DISCONNECT leaves Skyvarn's link open; Disconnect All deletes the devices.
    client->disconnectDevice("Quillo 1");
    EXPECT_TRUE(WaitFor([&] { return !client->Messages().empty(); }, kWait));
    EXPECT_EQ(client->Last("Quillo 1", "CONNECTION")->values["CONNECT"], "On");
    EXPECT_TRUE(FormMain->QLO->Connected());
    ClickLoadDevices();
    EXPECT_TRUE(WaitFor([&] { return client->Devices().empty(); }, kWait))
        << *client->Devices().begin();
    EXPECT_TRUE(client->Connected());
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join('\n').toStdString();
}

// Two clients see each other's moves; one that breaks the protocol is cut off alone.
TEST_F(IndiServerTest, ClientsShareTheFocuserAndABrokenOneIsCutOffAlone) {
    auto first = Client();
    auto second = Client();
    ASSERT_TRUE(WaitFor([] { return FormIndi->LabelIndiClients->text() == "Clients : 2"; }, kWait));
    const int start = focuser.Position();
    MoveTo(*first, *second, start + 100);
    EXPECT_EQ(second->Last("Quillo 1", "ABS_FOCUS_POSITION")->Number("FOCUS_ABSOLUTE_POSITION"),
              start + 100);

    QTcpSocket broken;
    broken.connectToHost(QHostAddress::LocalHost, quint16(port));
    broken.write("<getProperties version='1.7'/><newNumberVector device='Quillo 1'></oops>");
    EXPECT_TRUE(
        WaitFor([&] { return broken.state() == QAbstractSocket::UnconnectedState; }, kWait));
    EXPECT_TRUE(FormMain->MemoAdminMsgs->toPlainText().contains(
        "INDI 3: INDI stream broken (malformed XML"));

    MoveTo(*second, *first, start);
    EXPECT_TRUE(first->Connected());
    EXPECT_TRUE(second->Connected());
    EXPECT_EQ(focuser.Position(), start);
    EXPECT_EQ(Moves(focuser), (std::vector<std::string>{"O00100", "I00100"}));
}

// Through an unplug, a replug, Disconnect All and Connect All the library holds what Skyvarn
// serves: Brisella comes first by name, so unplugged Quillo 1 loses its properties one by one.
TEST_F(IndiServerTest, AClientHoldsWhatIsServedThroughUnplugsAndReconnections) {
    auto client = Client();
    const auto served = client->Held();
    ASSERT_EQ(served.size(), 2u);
    ASSERT_EQ(served.at("Quillo 1").size(), 9u);
    using Held = std::map<std::string, std::set<std::string>>;
    auto holds = [&](const Held& expected) {
        return WaitFor([&] { return client->Held() == expected; }, kWait);
    };
    const QString port = FormMain->QLO->Link().Port();
    focuser.Unplug();
    QFile::remove(port);
    EXPECT_TRUE(holds({{"Brisella", served.at("Brisella")}, {"Quillo 1", {}}}));
    Pump(1500); // the cable stays out a little
    focuser.Plug();
    QFile::link(QString::fromStdString(focuser.Port()), port);
    EXPECT_TRUE(holds(served));
    ClickLoadDevices(); // Disconnect All
    EXPECT_TRUE(holds({}));
    ClickLoadDevices(); // Connect All
    EXPECT_TRUE(holds(served));
    EXPECT_TRUE(client->Connected());
}

// The dew controller as a weather station: lights judged against ranges a client sets, a
// refresh asked at once, and a duty cycle that is Busy with the value asked, then Ok with it.
TEST_F(IndiServerTest, TheDewControllerLightsItsWeatherAndItsWritesEndWithTheirValue) {
    auto client = Client();
    auto status = [&](const char* light) {
        const auto s = client->Last("Brisella", "WEATHER_STATUS");
        return s ? std::string(pstateStr(s->state)) + " " + s->values.at(light) : std::string();
    };
    // 75 % at 8 °C: the dew point is about 4 °C below the air, a warning.
    EXPECT_TRUE(WaitFor([&] { return status("WEATHER_DEW_MARGIN") == "Busy Busy"; }, kWait))
        << status("WEATHER_DEW_MARGIN");
    EXPECT_EQ(status("WEATHER_HUMIDITY"), "Busy Ok");
    dew.SetHumidity(60);
    EXPECT_TRUE(WaitFor([&] { return status("WEATHER_DEW_MARGIN") == "Ok Ok"; }, kWait));
    client->sendNewNumber("Brisella", "WEATHER_HUMIDITY", "MAX_OK", 55);
    EXPECT_TRUE(WaitFor([&] { return status("WEATHER_HUMIDITY") == "Alert Alert"; }, kWait));

    const auto polls = [&] {
        const auto c = dew.Commands();
        return std::count(c.begin(), c.end(), std::string("SGETAL"));
    };
    const auto before = polls();
    client->Choose("Brisella", "WEATHER_REFRESH", "REFRESH");
    EXPECT_TRUE(
        WaitFor([&] { return States(client->History("Brisella", "WEATHER_REFRESH")) == "Busy Ok"; },
                kWait));
    EXPECT_GT(polls(), before);
    EXPECT_EQ(client->Last("Brisella", "WEATHER_REFRESH")->values["REFRESH"], "Off");

    client->Forget("Brisella", "DEW_DUTY_CYCLES");
    client->sendNewNumber("Brisella", "DEW_DUTY_CYCLES", "DEW_CHANNEL_2", 50);
    ASSERT_TRUE(
        WaitFor([&] { return States(client->History("Brisella", "DEW_DUTY_CYCLES")) == "Busy Ok"; },
                kWait));
    for (const auto& seen : client->History("Brisella", "DEW_DUTY_CYCLES"))
        EXPECT_EQ(seen.Number("DEW_CHANNEL_2"), 50) << pstateStr(seen.state);
    EXPECT_EQ(dew.Output(2), 50);
}
