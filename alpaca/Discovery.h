// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Alpaca discovery: a client broadcasts "alpacadiscovery1" to UDP port 32227 over IPv4, or sends
// it to the multicast group ff12::a1:9aca over IPv6, and each Alpaca server answers the sender
// directly with the TCP port of its API.
#include <QByteArray>
#include <optional>

inline constexpr quint16 kAlpacaDiscoveryPort = 32227;
inline constexpr char kAlpacaDiscoveryGroup6[] = "ff12::a1:9aca";

// {"AlpacaPort":N} for a discovery request, nothing for any other datagram.
std::optional<QByteArray> DiscoveryAnswer(const QByteArray& datagram, quint16 alpacaPort);
