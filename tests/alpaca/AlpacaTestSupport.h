// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stand-in focuser for the protocol's rules, and requests asked of the service directly.
#include "AlpacaService.h"

#include <QCoroTask>
#include <QCoroTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class TStandInFocuser : public TAlpacaDevice {
  public:
    int number = 0;
    QString name = QStringLiteral("Stand-in");
    bool connected = true;
    int position = 1200;
    int moveMs = 0; // how long a move's call suspends

    QString DeviceType() const override { return QStringLiteral("Focuser"); }
    int DeviceNumber() const override { return number; }
    QString DeviceName() const override { return name; }
    QString Description() const override { return QStringLiteral("A focuser for tests"); }
    int InterfaceVersion() const override { return 3; }
    bool Connected() const override { return connected; }
    QList<TAlpacaMember> Members() const override {
        return {{QLatin1StringView("position"), true, false, true},
                {QLatin1StringView("move"), false, true, true},
                {QLatin1StringView("halt"), false, true, false}};
    }
    QCoro::Task<TAlpacaReply> Call(TAlpacaCall call) override {
        if (call.member == QLatin1String("position")) co_return TAlpacaReply::Ok(position);
        if (call.member == QLatin1String("halt"))
            co_return TAlpacaReply::Error(ascom::kNotImplemented, QStringLiteral("no halt"));
        const int target = call.Int(QLatin1StringView("Position"));
        if (target < 0 || target > 65535)
            co_return TAlpacaReply::Error(ascom::kInvalidValue, QStringLiteral("out of range"));
        if (moveMs > 0) co_await QCoro::sleepFor(std::chrono::milliseconds(moveMs));
        position = target;
        co_return TAlpacaReply::Ok();
    }
    QList<std::pair<QString, QString>> State() const override {
        return {{QStringLiteral("Position"), QString::number(position)}};
    }
    QJsonArray DeviceState() const override {
        return {StateItem(QStringLiteral("Position"), position)};
    }
};

inline TServerInfo TestServerInfo() {
    TServerInfo info;
    info.version = QStringLiteral("0.5");
    info.location = QStringLiteral("observatory");
    info.machineKey = QStringLiteral("test-machine");
    return info;
}

// The service's answer to one whole request, read by the server's own reader.
inline THttpAnswer Ask(TAlpacaService& service, const QByteArray& bytes) {
    THttpReader reader;
    reader.Feed(bytes);
    THttpRequest request;
    if (reader.Next(request) != THttpReader::Result::Request) {
        ADD_FAILURE() << "not a whole request: " << bytes.toStdString();
        return {};
    }
    return QCoro::waitFor(service.Answer(request));
}

inline QJsonObject Json(const THttpAnswer& answer) {
    return QJsonDocument::fromJson(answer.body).object();
}

// "ErrorNumber Value", the value as compact JSON or "-" when there is none.
inline QString ErrorAndValue(const THttpAnswer& answer) {
    const QJsonObject object = Json(answer);
    QString value = QStringLiteral("-");
    if (object.contains(QLatin1String("Value"))) {
        const QJsonValue v = object.value(QLatin1String("Value"));
        value = v.isArray()
                    ? QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact))
                : v.isObject()
                    ? QStringLiteral("{}")
                    : QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact))
                          .mid(1)
                          .chopped(1);
    }
    return QString::number(object.value(QLatin1String("ErrorNumber")).toInt(-1)) + ' ' + value;
}
