// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebTestSupport.h"

#include "Front.h"

#include <QLabel>
#include <QTcpServer>

#include <cerrno>
#include <cstring>

namespace {

struct TRequestCase {
    const char* name;
    QList<QByteArray> reads; // each one read by the server before the next is sent
    QStringList answers;
    QStringList moves = {};
    QString logged = {}; // a memo entry's text
};

const QByteArray kHost = "Host: 192.168.1.20:1321\r\n\r\n";

const TRequestCase kRequests[] = {
    {"page", {"GET / HTTP/1.1\r\n" + kHost}, {"200 /"}},
    {"move in",
     {"GET /move_in?value=10 HTTP/1.1\r\n" + kHost},
     {"200 received cmd: move_in value:10"},
     {"in 10"}},
    {"leading zeros dropped",
     {"GET /move_in?value=007 HTTP/1.1\r\n" + kHost},
     {"200 received cmd: move_in value:7"},
     {"in 7"}},
    {"HTTP/1.0 answered as 1.1",
     {"GET /move_out?value=100 HTTP/1.0\r\n" + kHost},
     {"200 received cmd: move_out value:100"},
     {"out 100"}},
    {"go to",
     {"GET /move_goto?value=2500 HTTP/1.1\r\n" + kHost},
     {"200 received cmd: move_goto value:2500"},
     {"to 2500"}},
    {"empty go to",
     {"GET /move_goto?value= HTTP/1.1\r\n" + kHost},
     {"200 received cmd: move_goto value:0"}},
    {"refresh", {"GET /refresh? HTTP/1.1\r\n" + kHost}, {"200 received cmd: refresh value:0"}},
    {"unknown path",
     {"GET /favicon.ico HTTP/1.1\r\n" + kHost},
     {"200 received cmd: unknown value:0"}},
    {"POST", {"POST / HTTP/1.1\r\n" + kHost}, {"501"}},
    {"lower-case get", {"get / HTTP/1.1\r\n" + kHost}, {"501"}},
    {"version not looked at for commands",
     {"GET /move_in?value=10 XYZ\r\n" + kHost},
     {"200 received cmd: move_in value:10"},
     {"in 10"}},
    {"no version", {"GET /\r\n" + kHost}, {"501"}},
    {"partial line waits for its end", {"GET / HT", "TP/1.1\r\n" + kHost}, {"200 /"}},
    {"split after a whole line", {"GET / HTTP/1.1\r\n", kHost}, {"200 /"}},
    {"CR LF torn between reads", {"GET / HTTP/1.1\r", "\n" + kHost}, {"200 /"}},
    {"two in one read",
     {"GET /refresh? HTTP/1.1\r\n\r\nGET /move_out?value=5 HTTP/1.1\r\n" + kHost},
     {"200 received cmd: refresh value:0", "200 received cmd: move_out value:5"},
     {"out 5"}},
    {"lone empty line", {"\r\n"}, {}},
    {"lone LF and CR line ends",
     {"GET /refresh? HTTP/1.1\nHost: 127.0.0.1\n\nGET / HTTP/1.1\r\r"},
     {"200 received cmd: refresh value:0", "200 /"}},
    {"zero byte ends the text",
     {QByteArray("GET / HTTP/1.1\r\n\r\n\0GET /move_in?value=1 ", 40) + "HTTP/1.1\r\n" + kHost},
     {"200 /"}},
    {"value not a number",
     {"GET /move_in?value=abc HTTP/1.1\r\n" + kHost},
     {"400"},
     {},
     "Bad request: 'abc' n'est pas une valeur entière correcte"},
    {"move without a value",
     {"GET /move_out HTTP/1.1\r\n" + kHost},
     {"400"},
     {},
     "Bad request: '/move_out' n'est pas une valeur entière correcte"},
    {"message escaped", {"GET < HTTP/1.1\r\n" + kHost}, {"200 &lt;"}},
    {"negative steps",
     {"GET /move_in?value=-5 HTTP/1.1\r\n" + kHost},
     {"400"},
     {},
     "Bad request: '-5' is not a whole number of steps from 0 to 65535"},
    {"steps beyond the focuser's",
     {"GET /move_goto?value=65536 HTTP/1.1\r\n" + kHost},
     {"400"},
     {},
     "Bad request: '65536' is not a whole number of steps from 0 to 65535"},
    {"largest step count",
     {"GET /move_out?value=65535 HTTP/1.1\r\n" + kHost},
     {"200 received cmd: move_out value:65535"},
     {"out 65535"}},
    {"body holding a request line",
     {"POST / HTTP/1.1\r\nContent-Length: 32\r\n\r\nGET /move_in?value=10 HTTP/1.1\r\n"},
     {"501"}},
    {"page of another site",
     {"GET /move_in?value=10 HTTP/1.1\r\nReferer: http://evil.example/\r\n" + kHost},
     {"403"},
     {},
     "Forbidden: Referer http://evil.example/ is not host 192.168.1.20:1321"},
    {"the page's own form",
     {"GET /move_in?value=10 HTTP/1.1\r\nOrigin: http://192.168.1.20:1321\r\n"
      "Referer: http://192.168.1.20:1321/refresh?\r\n" +
      kHost},
     {"200 received cmd: move_in value:10"},
     {"in 10"}},
    {"marked another site's by the browser, without a Referer",
     {"GET /move_out?value=100 HTTP/1.1\r\nSec-Fetch-Site: cross-site\r\n" + kHost},
     {"403"},
     {},
     "Forbidden: Sec-Fetch-Site cross-site is another site's request"},
    {"rebound name",
     {"GET /move_out?value=100 HTTP/1.1\r\nHost: rebound.example:1321\r\n"
      "Origin: http://rebound.example:1321\r\nSec-Fetch-Site: same-origin\r\n\r\n"},
     {"403"},
     {},
     "Forbidden: Host rebound.example:1321 is not this computer"},
    {"localhost",
     {"GET /move_in?value=1 HTTP/1.1\r\nHost: localhost:1321\r\n\r\n"},
     {"200 received cmd: move_in value:1"},
     {"in 1"}},
};

} // namespace

TEST_F(WebTest, RequestsAreAnsweredOverTheirConnection) {
    Start();
    for (const TRequestCase& c : kRequests) {
        SCOPED_TRACE(c.name);
        focuser.moves.clear();
        TPhone phone(form);
        for (const QByteArray& read : c.reads)
            phone.Send(read);
        // An answer to what follows proves that nothing more came before it and that the
        // connection stayed open.
        phone.Send("GET /refresh? HTTP/1.1\r\n" + kHost);
        EXPECT_EQ(phone.Answers(c.answers.size() + 1),
                  c.answers + QStringList{"200 received cmd: refresh value:0"});
        EXPECT_EQ(focuser.moves, c.moves);
        if (!c.logged.isEmpty()) {
            EXPECT_TRUE(form.MemoHttpTraffic->toPlainText().contains(c.logged));
        }
    }
    EXPECT_EQ(errors.messages, QStringList{});
}

TEST_F(WebTest, ContentLengthIsTheBodysByteLength) {
    Start();
    TPhone phone(form);
    phone.Send("GET / HTTP/1.1\r\n" + kHost);
    focuser.position = 12345;
    focuser.temperature = 21.5;
    phone.Send("GET / HTTP/1.1\r\n" + kHost);
    EXPECT_EQ(phone.Answers(2), QStringList({"200 /", "200 /"}));
    EXPECT_EQ(phone.contentLengths, QList<int>({1947, 1954}));
}

TEST_F(WebTest, ConnectionsAreNumberedFromOneAfterEachStart) {
    Start();
    TPhone first(form), second(form);
    first.Send("\r\n");
    second.Send("\r\n");
    EXPECT_TRUE(form.MemoHttpTraffic->toPlainText().contains("1 Read: "));
    EXPECT_TRUE(form.MemoHttpTraffic->toPlainText().contains("2 Read: "));

    form.BtnStop->click();
    EXPECT_TRUE(form.BtnStart->isEnabled());
    EXPECT_TRUE(Lines(form.MemoHttpTraffic).endsWith("Server stoped !"));
    EXPECT_TRUE(
        WaitFor([&] { return first.socket.state() == QAbstractSocket::UnconnectedState; }, 10000));
    Start();
    EXPECT_EQ(form.MemoHttpTraffic->toPlainText(), "Server started..");
    TPhone third(form);
    third.Send("GET / HTTP/1.1\r\n" + kHost);
    EXPECT_TRUE(form.MemoHttpTraffic->toPlainText().startsWith("Server started..\n1 Read: GET /"));
}

// What cannot be framed, or a client that reads nothing, ends the connection with one memo
// line; an answer already due still goes out first.
TEST_F(WebTest, ConnectionsBeyondTheirBoundsAreClosed) {
    net::TLimits limits;
    limits.unread = std::chrono::seconds(1);
    form.SetConnectionLimits(limits);
    Start();
    const struct {
        const char* name;
        QByteArray sent;
        QStringList answers;
        QString logged;
    } cases[] = {
        {"unended request",
         "GET / HTTP/1.1\r\nX-Long: " + QByteArray(9000, 'a'),
         {},
         "Request too long"},
        {"blank-line flood", QByteArray(2000, '\n'), {}, "Too many empty lines"},
        {"chunked body",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1f\r\n",
         {"501"},
         "Body without a length"},
    };
    int id = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPhone phone(form);
        ++id;
        phone.socket.write(c.sent);
        EXPECT_EQ(phone.Answers(c.answers.size()), c.answers);
        EXPECT_TRUE(WaitFor(
            [&] { return phone.socket.state() == QAbstractSocket::UnconnectedState; }, 10000));
        EXPECT_TRUE(WaitFor(
            [&] {
                return Lines(form.MemoHttpTraffic)
                    .contains(QString("%1: %2, connection closed").arg(id).arg(c.logged));
            },
            10000));
    }

    TPhone reader(form);
    reader.socket.setReadBufferSize(1); // the phone's side stops taking bytes
    for (int i = 0; i < 10000; ++i)
        reader.socket.write("GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(WaitFor(
        [&] {
            return form.MemoHttpTraffic->toPlainText().contains(
                QString("%1: Answers not read for 1 s, connection closed").arg(id + 1));
        },
        20000));
    EXPECT_EQ(errors.messages, QStringList{});
}

// While a move runs, its connection's later requests wait and every other connection is
// answered; the move's page comes once the move has ended, then the requests that waited. The
// time without a request does not run for a connection whose move runs.
TEST_F(WebTest, AMoveHoldsItsConnectionOnly) {
    net::TLimits limits;
    limits.idle = std::chrono::milliseconds(500);
    form.SetConnectionLimits(limits);
    Start();
    focuser.Hold();
    TPhone mover(form), other(form);
    mover.socket.write("GET /move_in?value=10 HTTP/1.1\r\n" + kHost + "GET /refresh? HTTP/1.1\r\n" +
                       kHost);
    ASSERT_TRUE(WaitFor([&] { return focuser.running == 1; }, 10000));
    for (int i = 0; i < 3; ++i) {
        other.Send("GET / HTTP/1.1\r\n" + kHost);
        EXPECT_EQ(other.Answers(1), QStringList{"200 /"});
    }
    EXPECT_TRUE(WaitFor(
        [&] {
            return Lines(form.MemoHttpTraffic)
                .contains("2: No request for 0.5 s, connection closed");
        },
        10000));
    Pump(500);
    EXPECT_EQ(mover.socket.bytesAvailable(), 0);
    EXPECT_EQ(focuser.moves, QStringList{"in 10"});

    focuser.Release();
    EXPECT_EQ(mover.Answers(2), QStringList({"200 received cmd: move_in value:10",
                                             "200 received cmd: refresh value:0"}));
    EXPECT_EQ(focuser.running, 0);
    EXPECT_EQ(mover.socket.state(), QAbstractSocket::ConnectedState);
}

// A client that writes many moves and goes: the one already running ends, the others never
// start, whether the event loop ran during the move or the move kept it (as a move that waits
// without returning to it does).
TEST_F(WebTest, RequestsOfAClosedConnectionAreDropped) {
    Start();
    QByteArray moves;
    for (int i = 0; i < 40; ++i)
        moves += "GET /move_in?value=10 HTTP/1.1\r\n" + kHost;
    for (const bool held : {true, false}) {
        SCOPED_TRACE(held ? "held move" : "move that keeps the event loop");
        focuser.moves.clear();
        TPhone phone(form);
        if (held) {
            focuser.Hold();
        } else {
            focuser.during = [&] { phone.socket.abort(); };
        }
        phone.socket.write(moves);
        if (held) {
            ASSERT_TRUE(WaitFor([&] { return focuser.running == 1; }, 10000));
            phone.socket.abort();
            ASSERT_TRUE(WaitFor([&] { return form.HttpServer->connectionCount() == 0; }, 10000));
            focuser.Release();
        }
        const int id = held ? 1 : 2;
        EXPECT_TRUE(WaitFor(
            [&] {
                return Lines(form.MemoHttpTraffic)
                    .contains(QString("%1: Connection closed, 39 requests dropped").arg(id));
            },
            10000));
        EXPECT_EQ(focuser.moves, QStringList{"in 10"});
        EXPECT_EQ(focuser.running, 0);
        focuser.during = nullptr;
    }
}

TEST_F(WebTest, StartWithoutANetworkIsRefused) {
    for (const QString address : {"No. IP Address", "127.0.0.1"}) {
        form.SetAddressSource([&] { return address; });
        form.LabelIP->setText("This computer IP address : 192.168.1.20:1321");
        form.BtnStart->click();
        EXPECT_EQ(Lines(form.MemoHttpTraffic).last(),
                  "Connexion unavailable, please connect to your WiFi router");
        EXPECT_EQ(form.LabelIP->text(), "This computer IP address : ");
        EXPECT_TRUE(form.BtnStart->isEnabled());
        EXPECT_FALSE(form.HttpServer->isListening());
    }
}

TEST_F(WebTest, ATakenPortGoesToTheErrorReportAndLeavesTheWindowStopped) {
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost));
    form.SetServerPort(other.serverPort());
    form.MemoHttpTraffic->appendPlainText("earlier");
    form.BtnStart->click();
    EXPECT_EQ(errors.messages,
              QStringList{QString("Erreur socket : %1 (%2), avec l'API 'bind'")
                              .arg(QString::fromLocal8Bit(std::strerror(EADDRINUSE)))
                              .arg(EADDRINUSE)});
    EXPECT_EQ(form.LabelIP->text(), "This computer IP address : ");
    EXPECT_EQ(form.MemoHttpTraffic->toPlainText(), "");
    EXPECT_TRUE(form.QrBitmap.isNull());
    EXPECT_TRUE(form.BtnStart->isEnabled());
    EXPECT_FALSE(form.BtnStop->isEnabled());
}
