// SPDX-License-Identifier: GPL-3.0-or-later
#include "Discovery.h"

#include <QJsonDocument>
#include <QJsonObject>

std::optional<QByteArray> DiscoveryAnswer(const QByteArray& datagram, quint16 alpacaPort) {
    // Version 1 of the protocol, whatever a client adds after it (the reference asks for
    // messages that begin so to be answered); a later version's request is not ours to answer.
    if (!datagram.startsWith("alpacadiscovery1")) return std::nullopt;
    return QJsonDocument(QJsonObject{{QStringLiteral("AlpacaPort"), int(alpacaPort)}})
        .toJson(QJsonDocument::Compact);
}
