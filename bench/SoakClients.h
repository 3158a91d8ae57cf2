// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The clients of a night on loopback, as the observatory has them: a phone page refreshed every
// second, an INDI client that learnt the properties and reads the updates, an Alpaca client
// polling the focuser, the weather and the outputs as an imaging program does, a move from each
// of them now and then, and short-lived connections that come and go. They count what comes back.
#include <QTcpSocket>
#include <QTimer>

#include <array>
#include <memory>

class TSoakClients {
  public:
    struct Ports {
        quint16 phone, indi, alpaca;
    };
    // Answers or bytes received since the last Take().
    struct Counts {
        int pages = 0;
        int alpacaAnswers = 0;
        qint64 indiBytes = 0;
        int moves = 0;
        int shortLived = 0;
        int reconnects = 0;
    };

    explicit TSoakClients(Ports ports) : ports_(ports) {
        for (auto& s : sockets_)
            s = std::make_unique<QTcpSocket>();
        QObject::connect(sockets_[kPhone].get(), &QTcpSocket::readyRead,
                         [this] { counts_.pages += Count(kPhone, "</html>"); });
        QObject::connect(sockets_[kAlpaca].get(), &QTcpSocket::readyRead, [this] {
            counts_.alpacaAnswers += Count(kAlpaca, "ServerTransactionID");
        });
        QObject::connect(sockets_[kIndi].get(), &QTcpSocket::readyRead,
                         [this] { counts_.indiBytes += sockets_[kIndi]->readAll().size(); });
        tick_.setInterval(200);
        QObject::connect(&tick_, &QTimer::timeout, [this] { Tick(); });
        tick_.start();
    }

    Counts Take() { return std::exchange(counts_, {}); }

  private:
    enum { kPhone, kIndi, kAlpaca };

    int Count(int which, const QByteArray& mark) {
        QByteArray& buffer = buffers_[which];
        buffer += sockets_[which]->readAll();
        int n = 0;
        for (qsizetype at = buffer.indexOf(mark); at >= 0; at = buffer.indexOf(mark)) {
            ++n;
            buffer.remove(0, at + mark.size());
        }
        // Keep only what may hold the start of the next mark.
        if (buffer.size() > 65536) buffer = buffer.right(mark.size());
        return n;
    }

    // Connected, or connecting again after a cut.
    bool Ready(int which) {
        QTcpSocket& s = *sockets_[which];
        if (s.state() == QAbstractSocket::ConnectedState) return true;
        if (s.state() == QAbstractSocket::UnconnectedState) {
            buffers_[which].clear();
            const quint16 port[] = {ports_.phone, ports_.indi, ports_.alpaca};
            s.connectToHost(QHostAddress::LocalHost, port[which]);
            ++counts_.reconnects;
            if (which == kIndi) s.write("<getProperties version=\"1.7\"/>\n");
        }
        return false;
    }

    void Get(int which, const QByteArray& target) {
        if (Ready(which))
            sockets_[which]->write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    void Put(const QByteArray& path, const QByteArray& form) {
        if (!Ready(kAlpaca)) return;
        sockets_[kAlpaca]->write("PUT " + path +
                                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                 "application/x-www-form-urlencoded\r\nContent-Length: " +
                                 QByteArray::number(form.size()) + "\r\n\r\n" + form);
    }

    void Tick() {
        ++ticks_;
        static const QByteArray polls[] = {
            "/api/v1/focuser/0/position",
            "/api/v1/focuser/0/ismoving",
            "/api/v1/focuser/0/temperature",
            "/api/v1/observingconditions/0/humidity",
            "/api/v1/observingconditions/0/dewpoint",
            "/api/v1/switch/0/getswitchvalue?Id=0",
        };
        Get(kAlpaca, polls[ticks_ % std::size(polls)]);
        if (ticks_ % 5 == 0) Get(kPhone, "/refresh");
        Ready(kIndi);
        // Every 20 s one client moves focuser 1 by a little, each in its turn, out and back.
        if (ticks_ % 100 == 0) {
            const int step = int(ticks_ / 100) % 6;
            const bool out = step < 3;
            ++counts_.moves;
            switch (step % 3) {
            case 0:
                Get(kPhone, out ? "/move_out?value=40" : "/move_in?value=40");
                break;
            case 1:
                if (Ready(kIndi))
                    sockets_[kIndi]->write(
                        QByteArray("<newSwitchVector device=\"Quillo 1\" name=\"FOCUS_MOTION\">"
                                   "<oneSwitch name=\"") +
                        (out ? "FOCUS_OUTWARD" : "FOCUS_INWARD") +
                        "\">On</oneSwitch></newSwitchVector>\n"
                        "<newNumberVector device=\"Quillo 1\" name=\"REL_FOCUS_POSITION\">"
                        "<oneNumber name=\"FOCUS_RELATIVE_POSITION\">40</oneNumber>"
                        "</newNumberVector>\n");
                break;
            case 2:
                Put("/api/v1/focuser/0/move", out ? "Position=30200" : "Position=29800");
                break;
            }
        }
        // Every 5 s a connection to each server that asks once and goes.
        if (ticks_ % 25 == 0) {
            for (quint16 port : {ports_.phone, ports_.alpaca, ports_.indi}) {
                auto* brief = new QTcpSocket;
                brief->connectToHost(QHostAddress::LocalHost, port);
                brief->write(port == ports_.indi
                                 ? QByteArray("<getProperties version=\"1.7\"/>\n")
                                 : QByteArray("GET /refresh HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
                QObject::connect(brief, &QTcpSocket::readyRead, brief, [brief] {
                    brief->readAll();
                    brief->disconnectFromHost();
                });
                QObject::connect(brief, &QTcpSocket::disconnected, brief, &QObject::deleteLater);
                QTimer::singleShot(3000, brief, &QObject::deleteLater); // never answered
                ++counts_.shortLived;
            }
        }
    }

    Ports ports_;
    std::array<std::unique_ptr<QTcpSocket>, 3> sockets_;
    std::array<QByteArray, 3> buffers_;
    QTimer tick_;
    qint64 ticks_ = 0;
    Counts counts_;
};
