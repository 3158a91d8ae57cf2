// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The INDI server: TCP on every IPv4 interface (port 7624 unless told otherwise), through the
// network front that keeps connections within their limits. Each client subscribes with
// getProperties to all devices, one device or one property; the accessories appear as INDI
// devices while Skyvarn has them connected and the server runs, and every client command goes
// through the same device operations as the windows.
#include "LogSink.h"
#include "Protocol.h"

#include <QObject>
#include <QSet>
#include <map>
#include <memory>
#include <vector>

class TDewController;
class TFocuser;
class TPanels;

namespace net {
class TFront;
}

namespace indi {

class TIndiClient;
class TServed;
class TDeviceModel;
struct Reply;

class TIndiServer : public QObject {
    Q_OBJECT
  public:
    static constexpr quint16 kDefaultPort = 7624;

    // log: the server's lines, its front's among them ("3: Answers not read, ...").
    TIndiServer(TFocuser& focuser1, TFocuser& focuser2, TDewController& dew, TPanels& panels,
                LogSink log, QObject* parent = nullptr);
    ~TIndiServer() override;

    // address: IPv4 in host order; port 0 takes a free one. Raises Failure when the port is
    // refused.
    void Start(quint32 address, quint16 port);
    void Stop();
    bool Listening() const;
    quint16 Port() const;
    int ClientCount() const;

    // For the served devices.
    void Defined(const TDeviceModel& model);
    void Deleted(const QString& device);
    void Send(const TDeviceModel& model, const Reply& reply);
    void Log(const QString& line) const;

    // For the clients.
    void Handle(TIndiClient& client, const Command& command);
    void Gone(TIndiClient& client);

  signals:
    // Started, stopped, or a client came or went.
    void Changed();

  private:
    void Broadcast(const QString& device, const QString& name, const QByteArray& bytes);

    void SendDeletions();

    LogSink log_;
    std::vector<std::unique_ptr<TServed>> served_;
    QStringList deleting_; // deleted, waiting for the end of the current event
    // The clients as they are now; a send may end a client's connection meanwhile.
    std::vector<std::shared_ptr<TIndiClient>> Clients() const;

    std::vector<std::weak_ptr<TIndiClient>> clients_; // held by their connections
    // Each device's properties, defined now or once the device is connected.
    std::map<QString, QSet<QString>> known_;
    std::unique_ptr<net::TFront> front_;
};

} // namespace indi
