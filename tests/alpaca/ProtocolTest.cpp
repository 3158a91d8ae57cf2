// SPDX-License-Identifier: GPL-3.0-or-later
// The Alpaca API's rules as its reference states them, through the service that answers every
// request, with a stand-in focuser: the paths, parameter names (a GET's in any case, a PUT's as
// written), the 400 answers, the ASCOM error numbers and the transaction numbers.
#include "AlpacaTestSupport.h"

#include <QDateTime>
#include <QJsonArray>

namespace {

struct TRuleCase {
    const char* name;
    QByteArray request; // the request line and what follows the fields (a form body)
    int status;
    // JSON: "ErrorNumber Value" as JSON texts ("0 1200", "1025 -"); otherwise a text in the body.
    QString expected;
};

QByteArray Put(const QByteArray& path, const QByteArray& form) {
    return "PUT " + path + " HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
           "Content-Length: " + QByteArray::number(form.size()) + "\r\n\r\n" + form;
}

QByteArray Get(const QByteArray& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

const TRuleCase kRules[] = {
    {"a GET member", Get("/api/v1/focuser/0/position"), 200, "0 1200"},
    {"a common member", Get("/api/v1/focuser/0/name"), 200, "0 \"Stand-in\""},
    {"interface version", Get("/api/v1/focuser/0/interfaceversion"), 200, "0 3"},
    {"no actions", Get("/api/v1/focuser/0/supportedactions"), 200, "0 []"},
    {"a raw command is not implemented",
     Put("/api/v1/focuser/0/commandblind", "Command=X&Raw=true"), 200, "1024 -"},
    {"a command not implemented still needs its parameters",
     Put("/api/v1/focuser/0/commandstring", "Command=X"), 400, "Missing parameter: Raw"},
    {"a PUT method", Put("/api/v1/focuser/0/move", "Position=1500"), 200, "0 -"},
    {"a GET's parameter names in any case", Get("/api/v1/focuser/0/name?CLIENTID=4"), 200,
     "0 \"Stand-in\""},
    {"a value out of range", Put("/api/v1/focuser/0/move", "Position=70000"), 200, "1025 -"},
    {"a member not implemented", Put("/api/v1/focuser/0/halt", ""), 200, "1024 -"},
    {"booleans in any case", Put("/api/v1/focuser/0/connected", "Connected=TRUE"), 200, "0 -"},
    {"a PUT's parameter names are case-sensitive", Put("/api/v1/focuser/0/move", "position=1500"),
     400, "Missing parameter: Position"},
    {"a PUT's parameters are in its body, not its query",
     Put("/api/v1/focuser/0/move?Position=1500", ""), 400, "Missing parameter: Position"},
    {"a GET's parameters are in its query, not its body",
     "GET /api/v1/focuser/0/name HTTP/1.1\r\nContent-Length: 3\r\n\r\nA=1", 200, "0 \"Stand-in\""},
    {"upper-case device type", Get("/api/v1/Focuser/0/position"), 400,
     "Unknown device type: Focuser"},
    {"unknown device type", Get("/api/v1/toaster/0/position"), 400, "Unknown device type: toaster"},
    {"a type not served", Get("/api/v1/camera/0/name"), 400, "No camera number 0 here"},
    {"device number -1", Get("/api/v1/focuser/-1/position"), 400, "Bad device number: -1"},
    {"device number 99", Get("/api/v1/focuser/99/position"), 400, "No focuser number 99 here"},
    {"device number A", Get("/api/v1/focuser/A/position"), 400, "Bad device number: A"},
    {"unknown member", Get("/api/v1/focuser/0/positionx"), 400,
     "Unknown member of focuser 0: positionx"},
    {"upper-case member", Get("/api/v1/focuser/0/Position"), 400,
     "Unknown member of focuser 0: Position"},
    {"setting a read-only member", Put("/api/v1/focuser/0/position", "Position=1"), 400,
     "position of focuser 0 is read with GET"},
    {"reading a method", Get("/api/v1/focuser/0/move"), 400,
     "move of focuser 0 is called with PUT"},
    {"Connected set to asdqwe", Put("/api/v1/focuser/0/connected", "Connected=asdqwe"), 400,
     "Parameter Connected is not true or false: 'asdqwe'"},
    {"a position that does not parse", Put("/api/v1/focuser/0/move", "Position=1.5"), 400,
     "Parameter Position is not a 32-bit integer: '1.5'"},
    {"a negative ClientTransactionID", Get("/api/v1/focuser/0/position?ClientTransactionID=-5"),
     400, "Parameter ClientTransactionID is not an unsigned 32-bit integer: '-5'"},
    {"a ClientTransactionID of letters", Get("/api/v1/focuser/0/position?ClientTransactionID=abc"),
     400, "Parameter ClientTransactionID is not an unsigned 32-bit integer"},
    {"an empty ClientID", Put("/api/v1/focuser/0/move", "Position=10&ClientID="), 400,
     "Parameter ClientID is not an unsigned 32-bit integer: ''"},
    {"a ClientID of blanks", Get("/api/v1/focuser/0/name?ClientID=%20%20"), 400,
     "Parameter ClientID is not an unsigned 32-bit integer"},
    {"a badly cased PUT ClientID is no ClientID",
     Put("/api/v1/focuser/0/move", "Position=10&clientid=abc"), 200, "0 -"},
    {"a management ClientTransactionID of letters",
     Get("/management/v1/description?ClientTransactionID=x"), 400,
     "Parameter ClientTransactionID is not an unsigned 32-bit integer"},
    {"Platform 7: Connecting", Get("/api/v1/focuser/0/connecting"), 200, "0 false"},
    {"Platform 7: Connect", Put("/api/v1/focuser/0/connect", ""), 200, "0 -"},
    {"Platform 7: Disconnect", Put("/api/v1/focuser/0/disconnect", "ClientID=77"), 200, "0 -"},
    {"Platform 7: Connect is called with PUT", Get("/api/v1/focuser/0/connect"), 400,
     "connect of focuser 0 is called with PUT"},
    {"another API version", Get("/api/v2/focuser/0/position"), 400, "Unknown path"},
    {"a method other than GET, HEAD and PUT", "DELETE /api/v1/focuser/0/position HTTP/1.1\r\n\r\n",
     405, "Only GET, HEAD and PUT"},
    {"API versions", Get("/management/apiversions"), 200, "0 [1]"},
    {"an unknown management path", Get("/management/v1/nothing"), 400, "Unknown management path"},
    {"a setup page", Get("/setup/v1/focuser/0/setup"), 200, "<h1>Stand-in</h1>"},
    {"the setup page of no device", Get("/setup/v1/focuser/7/setup"), 403, "No device has"},
    {"another path", Get("/favicon.ico"), 404, "Not found"},
};

// The device-dependent answers of a focuser whose link is not open.
const TRuleCase kUnlinked[] = {
    {"a reading needs the link", Get("/api/v1/focuser/0/position"), 200, "1031 -"},
    {"a move needs the link", Put("/api/v1/focuser/0/move", "Position=1"), 200, "1031 -"},
    {"Connected reads false", Get("/api/v1/focuser/0/connected"), 200, "0 false"},
    {"Connected set true says what to do", Put("/api/v1/focuser/0/connected", "Connected=true"),
     200, "1031 -"},
    {"Connected set false is no error", Put("/api/v1/focuser/0/connected", "Connected=false"), 200,
     "0 -"},
    {"Connect says what to do", Put("/api/v1/focuser/0/connect", ""), 200, "1031 -"},
    {"Disconnect is no error", Put("/api/v1/focuser/0/disconnect", ""), 200, "0 -"},
    {"Connecting reads false", Get("/api/v1/focuser/0/connecting"), 200, "0 false"},
    {"DeviceState needs the link", Get("/api/v1/focuser/0/devicestate"), 200, "1031 -"},
    {"what is not implemented stays so", Put("/api/v1/focuser/0/halt", ""), 200, "1024 -"},
    {"the name needs no link", Get("/api/v1/focuser/0/description"), 200,
     "0 \"A focuser for tests\""},
};

void CheckCases(TAlpacaService& service, const TRuleCase* cases, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const TRuleCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const THttpAnswer answer = Ask(service, c.request);
        EXPECT_EQ(answer.status, c.status) << answer.body.toStdString();
        if (!answer.contentType.startsWith("application/json")) {
            EXPECT_TRUE(QString::fromUtf8(answer.body).contains(c.expected))
                << answer.body.toStdString();
            if (c.status == 400) EXPECT_TRUE(answer.contentType.startsWith("text/plain"));
            continue;
        }
        EXPECT_EQ(ErrorAndValue(answer), c.expected) << answer.body.toStdString();
    }
}

} // namespace

TEST(AlpacaProtocol, RulesOfTheReference) {
    TStandInFocuser focuser;
    TAlpacaService service(TestServerInfo(), {&focuser});
    CheckCases(service, kRules, std::size(kRules));
}

TEST(AlpacaProtocol, AHeadIsAGetWithoutItsBody) {
    TStandInFocuser focuser;
    TAlpacaService service(TestServerInfo(), {&focuser});
    const THttpAnswer get = Ask(service, Get("/management/v1/description"));
    const THttpAnswer head = Ask(service, "HEAD /management/v1/description HTTP/1.1\r\n\r\n");
    EXPECT_EQ(head.status, 200);
    const QByteArray bytes = head.Bytes();
    EXPECT_TRUE(bytes.endsWith("\r\n\r\n"));
    EXPECT_TRUE(bytes.contains("Content-Length: " + QByteArray::number(get.body.size())));
}

TEST(AlpacaProtocol, ADeviceWithoutItsLink) {
    TStandInFocuser focuser;
    focuser.connected = false;
    TAlpacaService service(TestServerInfo(), {&focuser});
    CheckCases(service, kUnlinked, std::size(kUnlinked));
    const QJsonObject answer =
        Json(Ask(service, Put("/api/v1/focuser/0/connected", "Connected=true")));
    EXPECT_TRUE(answer["ErrorMessage"].toString().contains("press Connect All"));
}

TEST(AlpacaProtocol, TransactionNumbers) {
    TStandInFocuser focuser;
    TAlpacaService service(TestServerInfo(), {&focuser});
    struct {
        QByteArray request;
        qint64 client;
    } const cases[] = {
        {Get("/api/v1/focuser/0/position?ClientID=3&ClientTransactionID=77"), 77},
        {Get("/api/v1/focuser/0/position?clienttransactionid=4294967295"), 4294967295},
        {Put("/api/v1/focuser/0/move", "Position=10&ClientTransactionID=12"), 12},
        {Put("/api/v1/focuser/0/move", "Position=10&CLIENTTRANSACTIONID=13"), 0}, // not its name
        {Get("/api/v1/focuser/0/position"), 0},
        {Get("/management/v1/description?ClientTransactionID=9"), 9},
        {Put("/api/v1/focuser/0/halt", "ClientTransactionID=21"), 21},
    };
    qint64 last = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.toStdString());
        const QJsonObject answer = Json(Ask(service, c.request));
        EXPECT_EQ(answer["ClientTransactionID"].toInteger(-1), c.client);
        EXPECT_EQ(answer["ServerTransactionID"].toInteger(), last + 1);
        last = answer["ServerTransactionID"].toInteger();
        for (const char* key : {"ErrorNumber", "ErrorMessage"})
            EXPECT_TRUE(answer.contains(key)) << key;
    }
}

TEST(AlpacaProtocol, ManagementDescribesTheDevicesWithStableIds) {
    TStandInFocuser first, second;
    second.number = 1;
    second.name = "Second";
    TAlpacaService service(TestServerInfo(), {&first, &second});
    const QJsonObject description = Json(Ask(service, Get("/management/v1/description")));
    EXPECT_EQ(description["Value"]["ServerName"].toString(), "Skyvarn");
    EXPECT_EQ(description["Value"]["ManufacturerVersion"].toString(), "0.5");

    const QJsonArray devices =
        Json(Ask(service, Get("/management/v1/configureddevices")))["Value"].toArray();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[1]["DeviceName"].toString(), "Second");
    EXPECT_EQ(devices[1]["DeviceType"].toString(), "Focuser");
    EXPECT_EQ(devices[1]["DeviceNumber"].toInt(), 1);
    const QString id = devices[0]["UniqueID"].toString();
    EXPECT_EQ(QUuid::fromString(id).version(), QUuid::Sha1);
    EXPECT_NE(id, devices[1]["UniqueID"].toString());
    // The same on the next run of this computer, another on another computer.
    TAlpacaService again(TestServerInfo(), {&first, &second});
    EXPECT_EQ(again.UniqueId(first), id);
    TServerInfo elsewhere = TestServerInfo();
    elsewhere.machineKey = "another";
    EXPECT_NE(TAlpacaService(elsewhere, {&first}).UniqueId(first), id);
}

TEST(AlpacaProtocol, SetupPagesEscapeWhatTheyShow) {
    TStandInFocuser focuser;
    focuser.name = "<b>";
    TAlpacaService service(TestServerInfo(), {&focuser});
    const QByteArray page = Ask(service, Get("/setup")).body;
    EXPECT_TRUE(page.contains("&lt;b&gt;"));
    EXPECT_FALSE(page.contains("<b>"));
    EXPECT_TRUE(page.contains("href=\"/setup/v1/focuser/0/setup\""));
}

TEST(AlpacaProtocol, TheAppIsServedAtTheRootBesideTheSetupPages) {
    TStandInFocuser focuser;
    TAlpacaService service(TestServerInfo(), {&focuser});
    const THttpAnswer page = Ask(service, Get("/"));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.contentType.startsWith("text/html"));
    EXPECT_TRUE(page.body.contains("src=\"/app.js\""));
    for (const char* path : {"/app.js", "/app.css", "/manifest.webmanifest", "/icon.svg"})
        EXPECT_FALSE(Ask(service, Get(path)).body.isEmpty()) << path;
    EXPECT_TRUE(Ask(service, Get("/setup")).body.contains("Skyvarn Alpaca server"));
    EXPECT_EQ(Ask(service, Put("/", "")).status, 405);
    EXPECT_EQ(Ask(service, Get("/app.json")).status, 404);
}

// Connected is each client's own: one that disconnects itself reads false and is answered "not
// connected" by what needs a connection, while the others and Skyvarn's link go on.
TEST(AlpacaProtocol, ConnectedIsEachClientsOwn) {
    TStandInFocuser focuser, other;
    other.number = 1;
    TAlpacaService service(TestServerInfo(), {&focuser, &other});
    auto connected = [&](const QByteArray& query) {
        return ErrorAndValue(Ask(service, Get("/api/v1/focuser/0/connected" + query)));
    };
    EXPECT_EQ(connected(""), "0 true");
    EXPECT_EQ(connected("?ClientID=5"), "0 true");

    EXPECT_EQ(ErrorAndValue(
                  Ask(service, Put("/api/v1/focuser/0/connected", "Connected=false&ClientID=5"))),
              "0 -");
    EXPECT_EQ(connected("?ClientID=5"), "0 false");
    EXPECT_EQ(connected("?clientid=5"), "0 false"); // a GET's names in any case
    EXPECT_EQ(connected("?ClientID=6"), "0 true");
    EXPECT_EQ(connected(""), "0 true");
    EXPECT_EQ(ErrorAndValue(Ask(service, Get("/api/v1/focuser/1/connected?ClientID=5"))), "0 true");
    const QJsonObject refused = Json(Ask(service, Get("/api/v1/focuser/0/position?ClientID=5")));
    EXPECT_EQ(refused["ErrorNumber"].toInt(), 0x407);
    EXPECT_TRUE(refused["ErrorMessage"].toString().contains("Connect"));
    EXPECT_EQ(ErrorAndValue(Ask(service, Get("/api/v1/focuser/0/devicestate?ClientID=5"))),
              "1031 -");
    EXPECT_EQ(ErrorAndValue(Ask(service, Get("/api/v1/focuser/0/position?ClientID=6"))), "0 1200");
    // The common members stay answered; what is not implemented says so.
    EXPECT_EQ(ErrorAndValue(Ask(service, Get("/api/v1/focuser/0/name?ClientID=5"))),
              "0 \"Stand-in\"");
    EXPECT_EQ(ErrorAndValue(Ask(service, Put("/api/v1/focuser/0/halt", "ClientID=5"))), "1024 -");

    // Connect brings it back at once: nothing is left to wait for.
    EXPECT_EQ(ErrorAndValue(Ask(service, Put("/api/v1/focuser/0/connect", "ClientID=5"))), "0 -");
    EXPECT_EQ(ErrorAndValue(Ask(service, Get("/api/v1/focuser/0/connecting?ClientID=5"))),
              "0 false");
    EXPECT_EQ(connected("?ClientID=5"), "0 true");
    EXPECT_EQ(ErrorAndValue(Ask(service, Get("/api/v1/focuser/0/position?ClientID=5"))), "0 1200");

    // The anonymous client is one: its Disconnect holds for every request without a ClientID.
    EXPECT_EQ(ErrorAndValue(Ask(service, Put("/api/v1/focuser/0/disconnect", ""))), "0 -");
    EXPECT_EQ(connected(""), "0 false");
    EXPECT_EQ(connected("?ClientID=5"), "0 true");
    EXPECT_EQ(ErrorAndValue(Ask(service, Put("/api/v1/focuser/0/connected", "Connected=true"))),
              "0 -");
    EXPECT_EQ(connected(""), "0 true");

    // Without Skyvarn's link nobody reads it connected, and connecting is refused.
    focuser.connected = false;
    EXPECT_EQ(connected("?ClientID=6"), "0 false");
    EXPECT_EQ(ErrorAndValue(Ask(service, Put("/api/v1/focuser/0/connect", "ClientID=6"))),
              "1031 -");
    focuser.connected = true;
    EXPECT_EQ(connected("?ClientID=6"), "0 true");
}

TEST(AlpacaProtocol, DeviceStateEndsWithItsTimeStamp) {
    TStandInFocuser focuser;
    TAlpacaService service(TestServerInfo(), {&focuser});
    const QJsonArray state =
        Json(Ask(service, Get("/api/v1/focuser/0/devicestate?ClientTransactionID=3")))["Value"]
            .toArray();
    ASSERT_EQ(state.size(), 2);
    EXPECT_EQ(state[0]["Name"].toString(), "Position");
    EXPECT_EQ(state[0]["Value"].toInt(), 1200);
    EXPECT_EQ(state[1]["Name"].toString(), "TimeStamp");
    const QDateTime stamp = QDateTime::fromString(state[1]["Value"].toString(), Qt::ISODateWithMs);
    EXPECT_TRUE(stamp.isValid()) << state[1]["Value"].toString().toStdString();
    EXPECT_LT(std::abs(stamp.secsTo(QDateTime::currentDateTimeUtc())), 60);
}

TEST(AlpacaProtocol, DisconnectedClientsAreKeptWithinABound) {
    TStandInFocuser focuser;
    TAlpacaService service(TestServerInfo(), {&focuser});
    const qsizetype bound = TAlpacaService::kMaxDisconnectedClients;
    for (qsizetype id = 0; id <= bound; ++id)
        Ask(service, Put("/api/v1/focuser/0/disconnect", "ClientID=" + QByteArray::number(id)));
    // The first to disconnect was forgotten, the last is kept.
    EXPECT_TRUE(service.ClientConnected(focuser, 0u));
    EXPECT_FALSE(service.ClientConnected(focuser, quint32(bound)));
    EXPECT_FALSE(service.ClientConnected(focuser, 1u));
}
