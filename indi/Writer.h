// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one writer of what the server sends: definitions and updates of vectors, messages and
// deletions, as whole top-level elements ready for the socket.
#include "Protocol.h"

#include <QByteArray>
#include <QDateTime>

namespace indi {

QLatin1StringView StateText(State state); // "Idle", "Ok", "Busy", "Alert"
// UTC, "2024-03-01T21:04:05", as the protocol writes its timestamps.
QString Timestamp(const QDateTime& when);

// <defTextVector ...> and its kin: every attribute and member of the vector.
QByteArray DefVector(const Vector& vector, const QDateTime& when, const QString& message = {});
// <setNumberVector ...> and its kin: the state and the members' values.
QByteArray SetVector(const Vector& vector, const QDateTime& when, const QString& message = {});
QByteArray Message(const QString& device, const QString& text, const QDateTime& when);
// An empty name deletes the whole device.
QByteArray DelProperty(const QString& device, const QString& name, const QDateTime& when);

} // namespace indi
