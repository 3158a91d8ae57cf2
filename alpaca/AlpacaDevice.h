// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One ASCOM device as the Alpaca Device API serves it: its identity, the members of its
// interface beyond the common ones, and the calls of those members. The common members
// (connected, connect, description, devicestate, name ...) are answered by the service from the
// identity and from what the device knows.
#include "FormFields.h"

#include "Failure.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// ASCOM's reserved error numbers, as the JSON answers carry them.
namespace ascom {
inline constexpr int kNotImplemented = 0x400;
inline constexpr int kInvalidValue = 0x401;
inline constexpr int kNotConnected = 0x407;
inline constexpr int kInvalidOperation = 0x40B;
inline constexpr int kActionNotImplemented = 0x40C;
inline constexpr int kOperationCancelled = 0x40E;
// The first of the numbers a driver gives its own errors: a failure of the device's link.
inline constexpr int kDriverError = 0x500;
} // namespace ascom

// The outcome of one member call: a value (none for methods) or an ASCOM error.
struct TAlpacaReply {
    QJsonValue value{QJsonValue::Undefined};
    int errorNumber = 0;
    QString errorMessage;

    static TAlpacaReply Ok(QJsonValue value = QJsonValue(QJsonValue::Undefined)) {
        return {std::move(value), 0, {}};
    }
    static TAlpacaReply Error(int number, QString message) {
        return {QJsonValue(QJsonValue::Undefined), number, std::move(message)};
    }
};

// A parameter missing or not parsing: the request is answered with HTTP 400 and this text.
class TBadRequest : public Failure {
  public:
    using Failure::Failure;
};

// A member of a device's interface: its path name and how it is called. needsLink: answered
// with "not connected" (0x407) while Skyvarn has no link to the device, and to a client that
// disconnected itself from the device (Connected set false, or Disconnect).
struct TAlpacaMember {
    QLatin1StringView name;
    bool get;
    bool put;
    bool needsLink;
};

struct TAlpacaCall {
    QString member; // as the path names it, lower case
    bool put = false;
    TFormFields params; // the query of a GET, the form of a PUT

    // Required parameters; raise TBadRequest when missing or not parsing.
    QString Text(QLatin1StringView name) const;
    bool Bool(QLatin1StringView name) const;
    qint32 Int(QLatin1StringView name) const;
    double Double(QLatin1StringView name) const;
};

class TAlpacaDevice {
  public:
    virtual ~TAlpacaDevice() = default;

    // "Focuser", "ObservingConditions", "Switch" as configureddevices writes them; the paths
    // use them in lower case.
    virtual QString DeviceType() const = 0;
    virtual int DeviceNumber() const = 0;
    virtual QString DeviceName() const = 0; // "Quillo 1"
    virtual QString Description() const = 0;
    virtual int InterfaceVersion() const = 0;
    // Skyvarn holds the device: its link is open and it is ready. What a client reads as
    // Connected unless it disconnected itself (the service keeps that, client by client).
    virtual bool Connected() const = 0;
    virtual QList<TAlpacaMember> Members() const = 0;
    // Calls one of Members(), already checked against its table (and the link when it needs
    // one). Device exchanges suspend it; it raises TBadRequest for a bad parameter and nothing
    // else: the device's failures become ASCOM errors.
    virtual QCoro::Task<TAlpacaReply> Call(TAlpacaCall call) = 0;
    // What the setup page shows, line by line: label and value.
    virtual QList<std::pair<QString, QString>> State() const = 0;
    // The readings this device gives beyond its interface, as Actions that SupportedActions
    // lists; none by default.
    virtual QStringList SupportedActions() const { return {}; }
    // One of SupportedActions, named as listed: its answer, a string.
    virtual TAlpacaReply RunAction(const QString& name) const {
        return TAlpacaReply::Error(ascom::kActionNotImplemented, name);
    }
    // DeviceState (Platform 7): the operational properties its interface document names, as
    // {"Name", "Value"} objects, from what is known now: it never waits for the device, and it
    // leaves out what would be an error if read (the service adds the TimeStamp).
    virtual QJsonArray DeviceState() const { return {}; }
};

// One item of DeviceState.
inline QJsonObject StateItem(const QString& name, const QJsonValue& value) {
    return QJsonObject{{QStringLiteral("Name"), name}, {QStringLiteral("Value"), value}};
}

// The answer to a member of a device whose link is not open.
TAlpacaReply NotConnectedReply(const TAlpacaDevice& device);
// The answer to a member of a device that the asking client disconnected itself from.
TAlpacaReply ClientDisconnectedReply(const TAlpacaDevice& device);
