// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Alpaca Device API and Management API, version 1, over the devices given: each request
// routed to its answer. Paths are lower case; parameter names match in any case; a GET's
// parameters are in its query and a PUT's in its form body. A request that cannot be
// interpreted (device type, device number, member, a parameter) is answered 400 with a plain
// text; everything else is a JSON answer carrying the client's transaction number back and a
// server transaction number that grows by one with each JSON answer.
#include "AlpacaDevice.h"
#include "HttpAnswer.h"
#include "HttpReader.h"

#include <QCoroTask>
#include <QList>
#include <QString>

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

  private:
    struct TRoute;
    TRoute RouteDevice(const THttpRequest& request, const QList<QByteArray>& parts) const;
    THttpAnswer Management(const QByteArray& path, const TFormFields& params);
    THttpAnswer Setup(const QByteArray& path) const;
    TAlpacaReply Common(TAlpacaDevice& device, const TAlpacaCall& call) const;
    QByteArray Json(const TAlpacaReply& reply, quint32 clientTransaction);

    TServerInfo info_;
    QList<TAlpacaDevice*> devices_;
    quint32 serverTransaction_ = 0;
};

// The JSON answer of a device or management call.
QByteArray JsonAnswer(const TAlpacaReply& reply, quint32 clientTransaction,
                      quint32 serverTransaction);

// The Alpaca device types in path form ("focuser", "observingconditions" ...), all of them,
// served or not.
const QList<QLatin1StringView>& AlpacaDeviceTypes();
