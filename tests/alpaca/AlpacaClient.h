// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A plain HTTP client on 127.0.0.1, as an Alpaca client speaks to the server.
#include "QtTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <optional>

struct TClientAnswer {
    int status = 0;
    QByteArray head;
    QByteArray body;
    QJsonObject Json() const { return QJsonDocument::fromJson(body).object(); }
};

class TAlpacaClient {
  public:
    explicit TAlpacaClient(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(
            WaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 10000));
    }
    void Send(const QByteArray& bytes) { socket.write(bytes); }
    void Get(const QByteArray& target) {
        Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    void Put(const QByteArray& path, const QByteArray& form) {
        Send("PUT " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " +
             "application/x-www-form-urlencoded\r\nContent-Length: " +
             QByteArray::number(form.size()) + "\r\n\r\n" + form);
    }
    // The next answer, waiting up to ms for it; status 0 when none came.
    TClientAnswer Next(int ms = 10000) {
        TClientAnswer answer;
        WaitFor([&] { return Parse(answer); }, ms);
        return answer;
    }
    // A GET and its answer's JSON.
    QJsonObject Ask(const QByteArray& target) {
        Get(target);
        return Next().Json();
    }
    QJsonObject AskPut(const QByteArray& path, const QByteArray& form) {
        Put(path, form);
        return Next().Json();
    }

    QTcpSocket socket;

  private:
    bool Parse(TClientAnswer& answer) {
        received_ += socket.readAll();
        const qsizetype headEnd = received_.indexOf("\r\n\r\n");
        if (headEnd < 0) return false;
        const QByteArray head = received_.left(headEnd);
        const qsizetype at = head.toLower().indexOf("content-length: ");
        const qsizetype length =
            at < 0 ? 0 : head.mid(at + 16, head.indexOf('\r', at) - at - 16).toLongLong();
        if (received_.size() < headEnd + 4 + length) return false;
        answer.status = head.mid(9, 3).toInt();
        answer.head = head;
        answer.body = received_.mid(headEnd + 4, length);
        received_.remove(0, headEnd + 4 + length);
        return true;
    }
    QByteArray received_;
};

// A discovery request from loopback (to a group through the loopback interface) and the
// answer, if one comes within ms; nothing when the system does not send it.
inline std::optional<QByteArray> Discover(const QHostAddress& to, quint16 discoveryPort,
                                          const QByteArray& request, int ms) {
    QUdpSocket udp;
    const bool v6 = to.protocol() == QAbstractSocket::IPv6Protocol;
    if (!udp.bind(v6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost, 0)) return {};
    udp.setMulticastInterface(QNetworkInterface::interfaceFromName(QStringLiteral("lo")));
    if (udp.writeDatagram(request, to, discoveryPort) != request.size()) return {};
    QByteArray answer;
    WaitFor(
        [&] {
            if (!udp.hasPendingDatagrams()) return false;
            answer = udp.receiveDatagram().data();
            return true;
        },
        ms);
    return answer;
}
