// SPDX-License-Identifier: GPL-3.0-or-later
#include "Server.h"

#include "DeviceModel.h"
#include "ErrorReport.h"
#include "Focuser.h"
#include "Front.h"
#include "Panels.h"
#include "Reader.h"
#include "Served.h"
#include "Writer.h"

#include <QDateTime>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace indi {

// One client's connection: its stream's reader and what it subscribed to.
class TIndiClient : public net::THandler, public std::enable_shared_from_this<TIndiClient> {
  public:
    TIndiClient(TIndiServer& server, std::shared_ptr<net::TConnection> connection)
        : server_(server), connection_(std::move(connection)) {}

    void received(const QByteArray& bytes) override {
        // A command's answer may end this connection, and the connection drops its handler.
        const auto self = shared_from_this();
        QList<Command> commands;
        const bool open = reader_.Feed(bytes, commands);
        for (const Command& command : commands) {
            if (!connection_->isOpen()) return;
            connection_->requestCompleted();
            server_.Handle(*this, command);
        }
        // The commands before the fault are still served; nothing after it is read.
        if (!open)
            connection_->close(QStringLiteral("INDI stream broken (%1)").arg(reader_.Error()));
    }
    void closed() override { server_.Gone(*this); }
    // Names this client's waiting requests at the devices, so that they go with it.
    QString Key() const { return QStringLiteral("indi:%1").arg(connection_->id()); }

    // getProperties without a device subscribes to every device, without a name to every
    // property of the device. The server takes only names that exist or may come, so what a
    // client holds stays within the devices' own vectors.
    void Subscribe(const QString& device, const QString& name) {
        if (device.isEmpty())
            all_ = true;
        else if (name.isEmpty())
            devices_.insert(device);
        else
            properties_.insert({device, name});
    }
    bool Wants(const QString& device, const QString& name) const {
        return all_ || devices_.contains(device) || properties_.contains({device, name});
    }
    bool WantsDevice(const QString& device) const {
        if (all_ || devices_.contains(device)) return true;
        for (const auto& [d, n] : properties_)
            if (d == device) return true;
        return false;
    }
    void Send(const QByteArray& bytes) { connection_->send(bytes); }
    // The devices this client has been given, in the order it learnt them.
    void Learnt(const QString& device) {
        if (!learnt_.contains(device)) learnt_.append(device);
    }
    QStringList& Devices() { return learnt_; }

  private:
    TIndiServer& server_;
    std::shared_ptr<net::TConnection> connection_;
    TReader reader_;
    bool all_ = false;
    QSet<QString> devices_;
    QSet<std::pair<QString, QString>> properties_;
    QStringList learnt_;
};

TIndiServer::TIndiServer(TFocuser& focuser1, TFocuser& focuser2, TDewController& dew,
                         TPanels& panels, LogSink log, QObject* parent)
    : QObject(parent), log_(std::move(log)) {
    served_.push_back(
        std::make_unique<TServedFocuser>(*this, focuser1, QStringLiteral("Quillo 1")));
    served_.push_back(
        std::make_unique<TServedFocuser>(*this, focuser2, QStringLiteral("Quillo 2")));
    served_.push_back(std::make_unique<TServedDew>(*this, dew, QStringLiteral("Brisella")));
    served_.push_back(std::make_unique<TServed>(*this, panels, QStringLiteral("Morvessa panels")));
    for (const auto& served : served_)
        known_[served->Name()] = served->Properties();
    front_ = std::make_unique<net::TFront>(
        [this](const std::shared_ptr<net::TConnection>& connection) {
            auto client = std::make_shared<TIndiClient>(*this, connection);
            clients_.push_back(client);
            front_->note(QStringLiteral("%1: client connected").arg(connection->id()));
            emit Changed();
            return client;
        },
        [this](const QString& line) { Log(line); });
    net::TLimits limits;
    // Clients sit silent for hours between commands, but one that has never spoken holds a
    // slot for nothing.
    limits.idleAfterFirstRequest = false;
    // Connection lines go to the notifications, which a person reads.
    limits.linesPerSecond = 3;
    front_->setLimits(limits);
}

TIndiServer::~TIndiServer() {
    // The clients' ends come back here: while everything is still whole.
    front_->close();
}

void TIndiServer::Start(quint32 address, quint16 port) {
    if (front_->isListening()) return;
    front_->listen(address, port);
    Log(QStringLiteral("0: listening on port %1").arg(front_->serverPort()));
    for (auto& served : served_)
        served->Start();
    emit Changed();
}

void TIndiServer::Stop() {
    if (!front_->isListening()) return;
    front_->close();
    for (auto& served : served_)
        served->Stop();
    deleting_.clear();
    Log(QStringLiteral("0: stopped"));
    emit Changed();
}

bool TIndiServer::Listening() const {
    return front_->isListening();
}

quint16 TIndiServer::Port() const {
    return front_->serverPort();
}

int TIndiServer::ClientCount() const {
    return int(clients_.size());
}

void TIndiServer::Log(const QString& line) const {
    if (log_) log_(QStringLiteral("INDI ") + line);
}

void TIndiServer::Gone(TIndiClient& client) {
    // What it asked and still waits is dropped, as the phone's requests are.
    for (const auto& served : served_)
        served->ClientGone(client.Key());
    std::erase_if(clients_, [&](const std::weak_ptr<TIndiClient>& c) {
        const auto held = c.lock();
        return !held || held.get() == &client;
    });
    emit Changed();
}

std::vector<std::shared_ptr<TIndiClient>> TIndiServer::Clients() const {
    std::vector<std::shared_ptr<TIndiClient>> clients;
    for (const auto& c : clients_)
        if (auto held = c.lock()) clients.push_back(std::move(held));
    return clients;
}

void TIndiServer::Handle(TIndiClient& client, const Command& command) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (command.type == Command::Type::GetProperties) {
        if (command.device.isEmpty())
            client.Subscribe({}, {});
        else if (const auto known = known_.find(command.device);
                 known != known_.end() &&
                 (command.name.isEmpty() || known->second.contains(command.name)))
            client.Subscribe(command.device, command.name);
        for (const auto& served : served_) {
            const TDeviceModel* model = served->Model();
            if (!model || !(command.device.isEmpty() || command.device == served->Name())) continue;
            QByteArray defs;
            for (const Vector& v : model->Vectors())
                if (command.name.isEmpty() || command.name == v.name) defs += DefVector(v, now);
            if (defs.isEmpty()) continue;
            client.Send(defs);
            client.Learnt(served->Name());
        }
        return;
    }
    for (const auto& served : served_)
        if (served->Name() == command.device) served->Handle(command, client.Key());
}

void TIndiServer::Defined(const TDeviceModel& model) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const auto& client : Clients()) {
        QByteArray defs;
        for (const Vector& v : model.Vectors())
            if (client->Wants(model.Device(), v.name)) defs += DefVector(v, now);
        if (defs.isEmpty()) continue;
        client->Send(defs);
        client->Learnt(model.Device());
    }
}

void TIndiServer::Deleted(const QString& device) {
    // Disconnect All closes the devices one after the other: the deletions of one event go
    // out together.
    if (deleting_.isEmpty()) QTimer::singleShot(0, this, GuardedSlot([this] { SendDeletions(); }));
    deleting_.append(device);
}

void TIndiServer::SendDeletions() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto vacant = [&](const QString& device) {
        return std::none_of(served_.begin(), served_.end(),
                            [&](const auto& s) { return s->Name() == device && s->Model(); });
    };
    for (const auto& client : Clients()) {
        // The INDI library's client (1.9.9) erases, for a whole device's deletion, the first
        // device by name that it holds: whole deletions are right only for the first ones. A
        // device left empty before (its properties deleted one by one) goes with them.
        QStringList& held = client->Devices();
        QStringList byName = held;
        byName.sort();
        for (const QString& device : byName) {
            if (!vacant(device)) break;
            client->Send(DelProperty(device, {}, now));
            held.removeAll(device);
        }
        // The others lose their properties one by one and stay, empty, until they can go too
        // or are defined again.
        for (const QString& device : held) {
            if (!deleting_.contains(device) || !vacant(device)) continue;
            QStringList names = known_[device].values();
            names.sort();
            for (const QString& name : names)
                if (client->Wants(device, name)) client->Send(DelProperty(device, name, now));
        }
    }
    deleting_.clear();
}

void TIndiServer::Send(const TDeviceModel& model, const Reply& reply) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QString message = reply.message;
    for (const QString& name : reply.changed) {
        if (const Vector* v = model.Find(name)) {
            Broadcast(model.Device(), name, SetVector(*v, now, message));
            message.clear(); // with the first vector only
        }
    }
    if (message.isEmpty()) return;
    const QByteArray bytes = Message(model.Device(), message, now);
    for (const auto& client : Clients())
        if (client->WantsDevice(model.Device())) client->Send(bytes);
}

void TIndiServer::Broadcast(const QString& device, const QString& name, const QByteArray& bytes) {
    for (const auto& client : Clients())
        if (client->Wants(device, name)) client->Send(bytes);
}

} // namespace indi
