// SPDX-License-Identifier: GPL-3.0-or-later
#include "Discovery.h"

#include <QJsonDocument>
#include <QJsonObject>

std::optional<QByteArray> DiscoveryAnswer(const QByteArray& datagram, quint16 alpacaPort) {
    // Version 1 of the protocol; a later version's request is not ours to answer.
    if (datagram != "alpacadiscovery1") return std::nullopt;
    return QJsonDocument(QJsonObject{{QStringLiteral("AlpacaPort"), int(alpacaPort)}})
        .toJson(QJsonDocument::Compact);
}
