// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The remote-access window serving on a free loopback port with a fake focuser, and a phone's
// connection to it.
#include "QLOWebserver.h"
#include "QtTestSupport.h"

#include <QCoroTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <ostream>

// Texts in failure messages as text, not as bytes.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// Records the moves asked of it; with Hold(), a move lasts until Release().
class TFakeFocuser : public TRemoteFocuser {
  public:
    int position = 0;
    double temperature = 0;
    QStringList moves;            // "in 10", "out 100", "to 2500", as they start
    int running = 0;              // moves started and not ended
    std::function<void()> during; // run inside each move, as it starts

    int Position() const override { return position; }
    double Temperature() const override { return temperature; }
    QCoro::Task<> MoveIn(int steps) override { return Move("in " + QString::number(steps)); }
    QCoro::Task<> MoveOut(int steps) override { return Move("out " + QString::number(steps)); }
    QCoro::Task<> MoveTo(int target) override { return Move("to " + QString::number(target)); }

    void Hold() {
        gate_.setSingleShot(true);
        gate_.start(std::chrono::hours(1));
    }
    void Release() { gate_.start(0); } // every held move ends in the next turn of the loop

  private:
    QCoro::Task<> Move(QString move) {
        moves << move;
        ++running;
        if (during) during();
        co_await gate_; // at once unless held
        --running;
    }
    QTimer gate_;
};

class WebTest : public testing::Test {
  protected:
    WebTest() {
        form.SetServerPort(0);
        form.SetListenAddress(QHostAddress::LocalHost);
        form.SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
    }
    // Start as the user clicks it, with 192.168.1.20 as this computer's address.
    void Start() {
        form.BtnStart->click();
        ASSERT_TRUE(form.BtnStop->isEnabled()) << errors.messages.join('\n').toStdString();
    }

    ErrorRecorder errors;
    TFakeFocuser focuser;
    TFormQLOWS form{focuser};
};

// One connection to the window's server on 127.0.0.1.
class TPhone {
  public:
    explicit TPhone(TFormQLOWS& form) : form_(form) {
        socket.connectToHost(QHostAddress::LocalHost, form.ServerPort());
        EXPECT_TRUE(
            WaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 10000));
    }
    // Sends the bytes and waits until the server has read them.
    void Send(const QByteArray& bytes) {
        auto reads = [&] { return form_.MemoHttpTraffic->toPlainText().count(" Read: "); };
        const qsizetype before = reads();
        socket.write(bytes);
        EXPECT_TRUE(WaitFor([&] { return reads() > before; }, 10000)) << bytes.toStdString();
    }
    // Waits for count answers and returns them: "200 <page message>", "501", "400", "403". The 200
    // answers' header lines are checked and their lengths kept.
    QStringList Answers(int count) {
        WaitFor(
            [&] {
                received_ += socket.readAll();
                while (Parse()) {
                }
                return answers_.size() >= count;
            },
            10000);
        return std::exchange(answers_, {});
    }

    QList<int> contentLengths;
    QTcpSocket socket;

  private:
    bool Parse() {
        for (const QByteArray fixed : {"501 Not Implemented\r\nContent-Length: 0\r\n\r\n",
                                       "400 Bad Request\r\nContent-Length: 0\r\n\r\n",
                                       "403 Forbidden\r\nContent-Length: 0\r\n\r\n"}) {
            if (!received_.startsWith("HTTP/1.1 " + fixed)) continue;
            answers_ << QString::fromLatin1(fixed.left(3));
            received_.remove(0, fixed.size() + 9);
            return true;
        }
        const qsizetype lengthAt = received_.indexOf("Content-Length: ") + 16;
        const qsizetype headEnd = received_.indexOf("\r\n\r\n") + 4;
        if (headEnd < 4 || lengthAt < 16) return false;
        const int length =
            received_.mid(lengthAt, received_.indexOf('\r', lengthAt) - lengthAt).toInt();
        if (received_.size() < headEnd + length) return false;
        EXPECT_EQ(received_.left(headEnd),
                  "HTTP/1.1 200 OK\r\nServer: QuilloWebServer\r\nContent-Length: " +
                      QByteArray::number(length) +
                      "\r\nContent-Language: en\r\nContent-Type: text/html\r\n"
                      "Connection: keep-alive\r\n\r\n");
        const QByteArray body = received_.mid(headEnd, length);
        received_.remove(0, headEnd + length);
        EXPECT_TRUE(body.endsWith("</body></html>\r\n")) << body.right(40).toStdString();
        const qsizetype at = body.indexOf("Quillo message :<br>") + 20;
        answers_ << "200 " + QString::fromLatin1(body.mid(at, body.size() - 16 - at));
        contentLengths << length;
        return true;
    }

    TFormQLOWS& form_;
    QByteArray received_;
    QStringList answers_;
};
