// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlpacaService.h"

#include "AppPages.h"
#include "SetupPages.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

namespace {

// The namespace of Skyvarn's device ids; with the computer's key and the device's place it
// makes a name-based UUID that stays the same from run to run.
const QUuid kIdNamespace(QStringLiteral("b6645b87-b2b1-40bf-a22d-d64ebd8545ad"));

// The members every device has, in the reference's order (Connect, Connecting, DeviceState and
// Disconnect since Platform 7).
const TAlpacaMember kCommonMembers[] = {
    {QLatin1StringView("action"), false, true, false},
    {QLatin1StringView("commandblind"), false, true, false},
    {QLatin1StringView("commandbool"), false, true, false},
    {QLatin1StringView("commandstring"), false, true, false},
    {QLatin1StringView("connect"), false, true, false},
    {QLatin1StringView("connected"), true, true, false},
    {QLatin1StringView("connecting"), true, false, false},
    {QLatin1StringView("description"), true, false, false},
    {QLatin1StringView("devicestate"), true, false, true},
    {QLatin1StringView("disconnect"), false, true, false},
    {QLatin1StringView("driverinfo"), true, false, false},
    {QLatin1StringView("driverversion"), true, false, false},
    {QLatin1StringView("interfaceversion"), true, false, false},
    {QLatin1StringView("name"), true, false, false},
    {QLatin1StringView("supportedactions"), true, false, false},
};

const QLatin1StringView kClientIdName("ClientID");
const QLatin1StringView kTransactionName("ClientTransactionID");

QByteArray Utf8(const QString& text) {
    return text.toUtf8();
}

THttpAnswer BadRequest(const QString& why) {
    return THttpAnswer::Text(400, Utf8(why));
}

// The request's ClientID or ClientTransactionID, when it has one; a value that is not an
// unsigned 32-bit number raises TBadRequest (the reference's answer to a bad parameter value).
std::optional<quint32> IdParameter(const TFormFields& params, QLatin1StringView name) {
    const std::optional<QString> text = params.Value(name);
    if (!text) return std::nullopt;
    const std::optional<quint32> value = ParseUInt32(*text);
    if (!value)
        throw TBadRequest(QStringLiteral("Parameter %1 is not an unsigned 32-bit integer: '%2'")
                              .arg(name, *text));
    return value;
}

} // namespace

const QList<QLatin1StringView>& AlpacaDeviceTypes() {
    static const QList<QLatin1StringView> types = {
        QLatin1StringView("camera"),  QLatin1StringView("covercalibrator"),
        QLatin1StringView("dome"),    QLatin1StringView("filterwheel"),
        QLatin1StringView("focuser"), QLatin1StringView("observingconditions"),
        QLatin1StringView("rotator"), QLatin1StringView("safetymonitor"),
        QLatin1StringView("switch"),  QLatin1StringView("telescope"),
    };
    return types;
}

// What a device path comes to: an answer already made, or a call to run.
struct TAlpacaService::TRoute {
    std::optional<THttpAnswer> answer;
    TAlpacaDevice* device = nullptr;
    TAlpacaMember member{};
    bool common = false;
};

TAlpacaService::TAlpacaService(TServerInfo info, QList<TAlpacaDevice*> devices)
    : info_(std::move(info)), devices_(std::move(devices)) {}

QString TAlpacaService::UniqueId(const TAlpacaDevice& device) const {
    const QString name = info_.machineKey + QChar('/') + device.DeviceType().toLower() +
                         QChar('/') + QString::number(device.DeviceNumber());
    return QUuid::createUuidV5(kIdNamespace, name).toString(QUuid::WithoutBraces);
}

QByteArray TAlpacaService::Json(const TAlpacaReply& reply, quint32 clientTransaction) {
    return JsonAnswer(reply, clientTransaction, ++serverTransaction_);
}

QByteArray JsonAnswer(const TAlpacaReply& reply, quint32 clientTransaction,
                      quint32 serverTransaction) {
    QJsonObject object{
        {QStringLiteral("ClientTransactionID"), qint64(clientTransaction)},
        {QStringLiteral("ServerTransactionID"), qint64(serverTransaction)},
        {QStringLiteral("ErrorNumber"), reply.errorNumber},
        {QStringLiteral("ErrorMessage"), reply.errorMessage},
    };
    if (!reply.value.isUndefined()) object.insert(QStringLiteral("Value"), reply.value);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QCoro::Task<THttpAnswer> TAlpacaService::Answer(THttpRequest request) {
    // A HEAD is answered as its GET would be, without the body.
    const bool head = request.method == "HEAD";
    const bool get = request.method == "GET" || head;
    const bool put = request.method == "PUT";
    THttpAnswer answer;
    if (!get && !put) {
        answer = THttpAnswer::Text(405, "Only GET, HEAD and PUT are served");
        answer.extraFields = "Allow: GET, HEAD, PUT\r\n";
    } else if (request.path.startsWith("/api/")) {
        // A PUT's names are as the reference writes them; a GET's in any case.
        const TFormFields params = put ? TFormFields::Parse(request.body, Qt::CaseSensitive)
                                       : TFormFields::Parse(request.query);
        const TRoute route = RouteDevice(request, request.path.split('/'));
        quint32 client = 0;
        TClient clientId;
        std::optional<THttpAnswer> refused = route.answer;
        if (!refused) {
            try {
                client = IdParameter(params, kTransactionName).value_or(0);
                clientId = IdParameter(params, kClientIdName);
            } catch (const TBadRequest& e) {
                refused = BadRequest(e.Message());
            }
        }
        if (refused) {
            answer = *refused;
        } else {
            TAlpacaCall call{QString::fromLatin1(route.member.name), put, params};
            TAlpacaDevice* device = route.device;
            // Numbered as they arrive; and nothing of the service is used after the device's
            // call, which may end after the service is gone (at exit, as the links close).
            const quint32 server = ++serverTransaction_;
            try {
                TAlpacaReply reply;
                if (route.member.needsLink && !ClientConnected(*device, clientId))
                    reply = device->Connected() ? ClientDisconnectedReply(*device)
                                                : NotConnectedReply(*device);
                else if (route.common)
                    reply = Common(*device, call, clientId);
                else
                    reply = co_await device->Call(std::move(call));
                answer.body = JsonAnswer(reply, client, server);
            } catch (const TBadRequest& e) {
                answer = BadRequest(e.Message());
            } catch (const Failure& e) {
                answer.body = JsonAnswer(TAlpacaReply::Error(ascom::kDriverError, e.Message()),
                                         client, server);
            }
        }
    } else if (request.path.startsWith("/management/")) {
        answer = get ? Management(request.path, TFormFields::Parse(request.query))
                     : BadRequest(QStringLiteral("The management API is read with GET"));
    } else if (std::optional<THttpAnswer> app = AppFile(request.path)) {
        answer = get ? *app : THttpAnswer::Text(405, "The app is read with GET");
        if (!get) answer.extraFields = "Allow: GET\r\n";
    } else if (request.path.startsWith("/setup")) {
        answer =
            get ? Setup(request.path) : THttpAnswer::Text(405, "Setup pages are read with GET");
        if (!get) answer.extraFields = "Allow: GET\r\n";
    } else {
        answer = THttpAnswer::Text(404, "Not found");
    }
    answer.close = !request.keepAlive;
    answer.headOnly = head;
    co_return answer;
}

TAlpacaService::TRoute TAlpacaService::RouteDevice(const THttpRequest& request,
                                                   const QList<QByteArray>& parts) const {
    // "", "api", "v1", type, number, member
    TRoute route;
    if (parts.size() != 6 || parts[2] != "v1") {
        route.answer = BadRequest(QStringLiteral("Unknown path: %1 (the Device API is "
                                                 "/api/v1/{device_type}/{device_number}/{member})")
                                      .arg(QString::fromUtf8(request.path)));
        return route;
    }
    const QString type = QString::fromUtf8(parts[3]);
    const QString numberText = QString::fromUtf8(parts[4]);
    const QString memberName = QString::fromUtf8(parts[5]);
    if (!AlpacaDeviceTypes().contains(type)) {
        route.answer = BadRequest(
            QStringLiteral("Unknown device type: %1 (device types are written in lower case)")
                .arg(type));
        return route;
    }
    const std::optional<quint32> number = ParseUInt32(numberText);
    if (!number) {
        route.answer = BadRequest(
            QStringLiteral("Bad device number: %1 (a number from 0 up)").arg(numberText));
        return route;
    }
    for (TAlpacaDevice* device : devices_)
        if (device->DeviceType().toLower() == type && quint32(device->DeviceNumber()) == *number)
            route.device = device;
    if (!route.device) {
        route.answer = BadRequest(QStringLiteral("No %1 number %2 here").arg(type).arg(*number));
        return route;
    }

    std::optional<TAlpacaMember> member;
    for (const TAlpacaMember& common : kCommonMembers)
        if (memberName == common.name) {
            member = common;
            route.common = true;
        }
    if (!member)
        for (const TAlpacaMember& own : route.device->Members())
            if (memberName == own.name) member = own;
    const QString where = QStringLiteral("%1 %2").arg(type).arg(*number);
    if (!member) {
        route.answer =
            BadRequest(QStringLiteral("Unknown member of %1: %2").arg(where, memberName));
        return route;
    }
    const bool put = request.method == "PUT";
    if (put && !member->put) {
        route.answer =
            BadRequest(QStringLiteral("%1 of %2 is read with GET, not set").arg(memberName, where));
        return route;
    }
    if (!put && !member->get) {
        route.answer =
            BadRequest(QStringLiteral("%1 of %2 is called with PUT").arg(memberName, where));
        return route;
    }
    route.member = *member;
    return route;
}

bool TAlpacaService::ClientConnected(const TAlpacaDevice& device, TClient client) const {
    if (!device.Connected()) return false;
    const auto it = disconnected_.constFind(&device);
    return it == disconnected_.cend() || !it->clients.contains(ClientKey(client));
}

TAlpacaReply TAlpacaService::SetClientConnected(TAlpacaDevice& device, TClient client,
                                                bool connected) {
    // Skyvarn's link belongs to Skyvarn: a client connects to the device while Skyvarn holds it
    // and never closes the link; its disconnect is its own.
    const qint64 key = ClientKey(client);
    if (connected) {
        if (!device.Connected()) return NotConnectedReply(device);
        const auto it = disconnected_.find(&device);
        if (it != disconnected_.end() && it->clients.remove(key)) it->order.removeOne(key);
        return TAlpacaReply::Ok();
    }
    TDisconnected& d = disconnected_[&device];
    if (!d.clients.contains(key)) {
        d.clients.insert(key);
        d.order.append(key);
        if (d.order.size() > kMaxDisconnectedClients) d.clients.remove(d.order.takeFirst());
    }
    return TAlpacaReply::Ok();
}

TAlpacaReply TAlpacaService::Common(TAlpacaDevice& device, const TAlpacaCall& call,
                                    TClient client) {
    const QString& m = call.member;
    if (m == QLatin1String("connected")) {
        if (!call.put) return TAlpacaReply::Ok(ClientConnected(device, client));
        return SetClientConnected(device, client, call.Bool(QLatin1StringView("Connected")));
    }
    // Connect completes before it answers: Skyvarn already holds the device (or the answer is
    // an error), so there is nothing left to wait for and Connecting reads false at once.
    if (m == QLatin1String("connect")) return SetClientConnected(device, client, true);
    if (m == QLatin1String("disconnect")) return SetClientConnected(device, client, false);
    if (m == QLatin1String("connecting")) return TAlpacaReply::Ok(false);
    if (m == QLatin1String("devicestate")) {
        QJsonArray state = device.DeviceState();
        state.append(StateItem(QStringLiteral("TimeStamp"),
                               QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)));
        return TAlpacaReply::Ok(state);
    }
    if (m == QLatin1String("description")) return TAlpacaReply::Ok(device.Description());
    if (m == QLatin1String("driverinfo"))
        return TAlpacaReply::Ok(QStringLiteral("Skyvarn %1: the Alpaca server of the Skyvarn "
                                               "accessory program, over its own device links")
                                    .arg(info_.version));
    if (m == QLatin1String("driverversion")) return TAlpacaReply::Ok(info_.version);
    if (m == QLatin1String("interfaceversion")) return TAlpacaReply::Ok(device.InterfaceVersion());
    if (m == QLatin1String("name")) return TAlpacaReply::Ok(device.DeviceName());
    if (m == QLatin1String("supportedactions"))
        return TAlpacaReply::Ok(QJsonArray::fromStringList(device.SupportedActions()));
    if (m == QLatin1String("action") && !device.SupportedActions().isEmpty()) {
        const QString name = call.Text(QLatin1StringView("Action"));
        for (const QString& action : device.SupportedActions())
            if (name.compare(action, Qt::CaseInsensitive) == 0) return device.RunAction(action);
        return TAlpacaReply::Error(ascom::kActionNotImplemented,
                                   QStringLiteral("%1 has no action %2; its actions are %3")
                                       .arg(device.DeviceName(), name,
                                            device.SupportedActions().join(QStringLiteral(", "))));
    }
    // action, commandblind, commandbool, commandstring: their parameters are checked all the
    // same (a request that cannot be read is answered so).
    if (m == QLatin1String("action")) {
        call.Text(QLatin1StringView("Action"));
    } else {
        call.Text(QLatin1StringView("Command"));
        call.Bool(QLatin1StringView("Raw"));
    }
    return TAlpacaReply::Error(ascom::kNotImplemented,
                               QStringLiteral("%1 is not implemented: Skyvarn sends no raw "
                                              "commands and has no actions of its own")
                                   .arg(m));
}

THttpAnswer TAlpacaService::Management(const QByteArray& path, const TFormFields& params) {
    quint32 client = 0;
    try {
        client = IdParameter(params, kTransactionName).value_or(0);
        IdParameter(params, kClientIdName);
    } catch (const TBadRequest& e) {
        return BadRequest(e.Message());
    }
    THttpAnswer answer;
    if (path == "/management/apiversions") {
        answer.body = Json(TAlpacaReply::Ok(QJsonArray{1}), client);
    } else if (path == "/management/v1/description") {
        answer.body = Json(TAlpacaReply::Ok(QJsonObject{
                               {QStringLiteral("ServerName"), info_.serverName},
                               {QStringLiteral("Manufacturer"), info_.manufacturer},
                               {QStringLiteral("ManufacturerVersion"), info_.version},
                               {QStringLiteral("Location"), info_.location},
                           }),
                           client);
    } else if (path == "/management/v1/configureddevices") {
        QJsonArray list;
        for (const TAlpacaDevice* device : devices_)
            list.append(QJsonObject{
                {QStringLiteral("DeviceName"), device->DeviceName()},
                {QStringLiteral("DeviceType"), device->DeviceType()},
                {QStringLiteral("DeviceNumber"), device->DeviceNumber()},
                {QStringLiteral("UniqueID"), UniqueId(*device)},
            });
        answer.body = Json(TAlpacaReply::Ok(list), client);
    } else {
        answer =
            BadRequest(QStringLiteral("Unknown management path: %1").arg(QString::fromUtf8(path)));
    }
    return answer;
}

THttpAnswer TAlpacaService::Setup(const QByteArray& path) const {
    if (path == "/setup") return THttpAnswer::Html(200, ServerPage(*this));
    // "", "setup", "v1", type, number, "setup"
    const QList<QByteArray> parts = path.split('/');
    if (parts.size() == 6 && parts[2] == "v1" && parts[5] == "setup") {
        const std::optional<quint32> number = ParseUInt32(QString::fromUtf8(parts[4]));
        for (const TAlpacaDevice* device : devices_)
            if (number && device->DeviceType().toLower() == QString::fromUtf8(parts[3]) &&
                quint32(device->DeviceNumber()) == *number)
                return THttpAnswer::Html(200, DevicePage(*this, *device));
    }
    // The reference's answer to a setup path of no device.
    return THttpAnswer::Html(403, NoSuchDevicePage(QString::fromUtf8(path)));
}

TAlpacaReply NotConnectedReply(const TAlpacaDevice& device) {
    return TAlpacaReply::Error(ascom::kNotConnected,
                               QStringLiteral("%1 is not connected to Skyvarn: press Connect All "
                                              "in Skyvarn's main window")
                                   .arg(device.DeviceName()));
}

TAlpacaReply ClientDisconnectedReply(const TAlpacaDevice& device) {
    return TAlpacaReply::Error(ascom::kNotConnected,
                               QStringLiteral("This client disconnected from %1 (Skyvarn still "
                                              "holds it): set Connected true or call Connect")
                                   .arg(device.DeviceName()));
}

namespace {

TBadRequest Missing(QLatin1StringView name) {
    return TBadRequest(QStringLiteral("Missing parameter: %1").arg(name));
}

TBadRequest NotParsing(QLatin1StringView name, const QString& value, const char* what) {
    return TBadRequest(
        QStringLiteral("Parameter %1 is not %2: '%3'").arg(name, QLatin1String(what), value));
}

} // namespace

QString TAlpacaCall::Text(QLatin1StringView name) const {
    const std::optional<QString> value = params.Value(name);
    if (!value) throw Missing(name);
    return *value;
}

bool TAlpacaCall::Bool(QLatin1StringView name) const {
    const QString text = Text(name);
    const std::optional<bool> value = ParseBool(text);
    if (!value) throw NotParsing(name, text, "true or false");
    return *value;
}

qint32 TAlpacaCall::Int(QLatin1StringView name) const {
    const QString text = Text(name);
    const std::optional<qint32> value = ParseInt32(text);
    if (!value) throw NotParsing(name, text, "a 32-bit integer");
    return *value;
}

double TAlpacaCall::Double(QLatin1StringView name) const {
    const QString text = Text(name);
    const std::optional<double> value = ParseDouble(text);
    if (!value) throw NotParsing(name, text, "a number");
    return *value;
}
