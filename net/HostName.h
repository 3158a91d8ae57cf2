// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether the Host header of a request names this computer. A page under a name whose DNS its
// owner points at this computer afterwards (a rebound name) reaches the servers from the
// browser with that name as Host; a phone, a client or a browser given the address or this
// computer's own name sends one of those.
#include <QByteArray>
#include <QString>

namespace net {

// Why the Host value names another computer ("Host evil.example is not this computer");
// empty when it is an IP address (v4, or v6 in brackets or bare, with or without a port),
// localhost, this computer's name or its .local name, or when it is empty. Names compare
// without case and without a final dot.
QString ForeignHost(const QByteArray& host);

} // namespace net
