// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceModel.h"

#include <cmath>

namespace indi {

namespace {

Element Text(const QString& name, const QString& label, const QString& text) {
    Element e;
    e.name = name;
    e.label = label;
    e.text = text;
    return e;
}

Element Switch(const QString& name, const QString& label, bool on) {
    Element e;
    e.name = name;
    e.label = label;
    e.on = on;
    return e;
}

} // namespace

TDeviceModel::TDeviceModel(QString device, const QString& port, int interfaces)
    : device_(std::move(device)) {
    // Skyvarn connected the device before defining it: CONNECT is On and stays so.
    Vector connection{Kind::Switch,
                      device_,
                      QStringLiteral("CONNECTION"),
                      QStringLiteral("Connection"),
                      kMainControl,
                      State::Ok,
                      Perm::ReadWrite,
                      Rule::OneOfMany,
                      60,
                      {Switch(QStringLiteral("CONNECT"), QStringLiteral("Connect"), true),
                       Switch(QStringLiteral("DISCONNECT"), QStringLiteral("Disconnect"), false)}};
    Vector info{
        Kind::Text,
        device_,
        QStringLiteral("DRIVER_INFO"),
        QStringLiteral("Driver Info"),
        kInfoGroup,
        State::Idle,
        Perm::ReadOnly,
        Rule::OneOfMany,
        0,
        {Text(QStringLiteral("DRIVER_NAME"), QStringLiteral("Name"), QStringLiteral("Skyvarn")),
         Text(QStringLiteral("DRIVER_EXEC"), QStringLiteral("Exec"), QStringLiteral("skyvarn")),
         Text(QStringLiteral("DRIVER_VERSION"), QStringLiteral("Version"),
              QStringLiteral(SKYVARN_VERSION)),
         Text(QStringLiteral("DRIVER_INTERFACE"), QStringLiteral("Interface"),
              QString::number(interfaces))}};
    Vector portVector{Kind::Text,
                      device_,
                      QStringLiteral("DEVICE_PORT"),
                      QStringLiteral("Ports"),
                      kConnectionGroup,
                      State::Ok,
                      Perm::ReadOnly,
                      Rule::OneOfMany,
                      0,
                      {Text(QStringLiteral("PORT"), QStringLiteral("Port"), port)}};
    vectors_ = {connection, info, portVector};
}

const Vector* TDeviceModel::Find(const QString& name) const {
    for (const Vector& v : vectors_)
        if (v.name == name) return &v;
    return nullptr;
}

Vector& TDeviceModel::At(const QString& name) {
    for (Vector& v : vectors_)
        if (v.name == name) return v;
    Q_ASSERT_X(false, "TDeviceModel::At", "no such vector");
    return vectors_.first();
}

bool TDeviceModel::RequestCommon(const Command& command, Reply& reply) {
    const Vector* vector = Find(command.name);
    if (!vector) return false;
    if (command.name == QLatin1StringView("CONNECTION")) {
        // The link is Skyvarn's: a client can neither open nor close it.
        Vector asked = *vector;
        QString why;
        if (command.type == Command::Type::NewSwitch && ApplySwitches(asked, command, why) &&
            asked.Find(QStringLiteral("DISCONNECT"))->on)
            reply.message =
                QStringLiteral("%1 stays connected: Skyvarn holds its port until Disconnect All")
                    .arg(device_);
        reply.changed << command.name;
        return true;
    }
    if (vector->perm == Perm::ReadOnly) {
        reply.message = QStringLiteral("%1 cannot be set").arg(command.name);
        return true;
    }
    return false;
}

Reply TDeviceModel::Answer(const Command& command) {
    Reply reply;
    RequestCommon(command, reply);
    return reply;
}

void TDeviceModel::SetState(const QString& name, State state, QStringList& changed) {
    Vector& v = At(name);
    if (v.state == state) return;
    v.state = state;
    if (!changed.contains(name)) changed << name;
}

void TDeviceModel::SetNumber(const QString& name, const QString& element, double value,
                             QStringList& changed) {
    Element* e = At(name).Find(element);
    if (!e || e->number == value) return;
    e->number = value;
    if (!changed.contains(name)) changed << name;
}

void TDeviceModel::SetSwitch(const QString& name, const QString& element, bool on,
                             QStringList& changed) {
    Element* e = At(name).Find(element);
    if (!e || e->on == on) return;
    e->on = on;
    if (!changed.contains(name)) changed << name;
}

bool WholeNumber(const Command& command, const QString& member, int min, int max, int& value,
                 QString& why) {
    const QString* text = command.Value(member);
    double number = 0;
    if (!text || !ParseNumber(*text, number)) {
        why = QStringLiteral("%1 needs a number for %2").arg(command.name, member);
        return false;
    }
    const double rounded = std::round(number);
    if (rounded < min || rounded > max) {
        why = QStringLiteral("%1 takes %2 from %3 to %4, not %5")
                  .arg(command.name, member)
                  .arg(min)
                  .arg(max)
                  .arg(*text);
        return false;
    }
    value = int(rounded);
    return true;
}

} // namespace indi
