// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Alpaca Device API and Management API, version 1, over the devices given: each request
// routed to its answer. Paths are lower case; a GET's parameters are in its query, their names in
// any case, and a PUT's in its form body, their names as the reference writes them. A request
// that cannot be interpreted (device type, device number, member, a parameter, a ClientID or
// ClientTransactionID that is not an unsigned 32-bit number) is answered 400 with a plain text;
// everything else is a JSON answer carrying the client's transaction number back and a server
// transaction number that grows by one with each JSON answer.
//
// Connected is each client's own, device by device (its ClientID; requests without one share
// one anonymous client): a client reads it true while Skyvarn holds the device, unless it set it
// false (or called Disconnect), which leaves Skyvarn's link open and answers the device's
// members that need a connection "not connected" for that client until it connects again.
#include "AlpacaDevice.h"
#include "HttpAnswer.h"
#include "HttpReader.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

struct TServerInfo {
    QString serverName = QStringLiteral("Skyvarn");
    QString manufacturer = QStringLiteral("Skyvarn");
    QString version;    // "0.5"
    QString location;   // this computer's name
    QString machineKey; // what makes the devices' unique ids this computer's own
};

class TAlpacaService {
  public:
    // The devices stay owned by the caller and must outlive every answer under way.
    TAlpacaService(TServerInfo info, QList<TAlpacaDevice*> devices);

    // The answer to one request; suspends while a device exchange runs. The request is taken
    // by value: the coroutine keeps its own copy whatever happens to the connection.
    QCoro::Task<THttpAnswer> Answer(THttpRequest request);

    quint32 LastServerTransaction() const { return serverTransaction_; }
    const QList<TAlpacaDevice*>& Devices() const { return devices_; }
    const TServerInfo& Info() const { return info_; }

    // The device's UniqueID: the same on every run on this computer.
    QString UniqueId(const TAlpacaDevice& device) const;

    // A client by its ClientID; nullopt: the requests that carry none.
    using TClient = std::optional<quint32>;
    // What the client reads as Connected: Skyvarn holds the device and the client did not
    // disconnect itself from it.
    bool ClientConnected(const TAlpacaDevice& device, TClient client) const;

    // The clients kept as disconnected, per device; past it the longest disconnected is
    // forgotten (and reads Connected as a new client does).
    static constexpr qsizetype kMaxDisconnectedClients = 1024;

  private:
    struct TRoute;
    TRoute RouteDevice(const THttpRequest& request, const QList<QByteArray>& parts) const;
    THttpAnswer Management(const QByteArray& path, const TFormFields& params);
    THttpAnswer Setup(const QByteArray& path) const;
    TAlpacaReply Common(TAlpacaDevice& device, const TAlpacaCall& call, TClient client);
    // Connected set, Connect, Disconnect: the client's own state.
    TAlpacaReply SetClientConnected(TAlpacaDevice& device, TClient client, bool connected);
    QByteArray Json(const TAlpacaReply& reply, quint32 clientTransaction);

    // A client that disconnected itself from a device, as a key (-1: the anonymous client).
    static qint64 ClientKey(TClient client) { return client ? qint64(*client) : -1; }
    struct TDisconnected {
        QSet<qint64> clients;
        QList<qint64> order; // as they disconnected, oldest first
    };

    TServerInfo info_;
    QList<TAlpacaDevice*> devices_;
    QHash<const TAlpacaDevice*, TDisconnected> disconnected_;
    quint32 serverTransaction_ = 0;
};

// The JSON answer of a device or management call.
QByteArray JsonAnswer(const TAlpacaReply& reply, quint32 clientTransaction,
                      quint32 serverTransaction);

// The Alpaca device types in path form ("focuser", "observingconditions" ...), all of them,
// served or not.
const QList<QLatin1StringView>& AlpacaDeviceTypes();
