// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QtGlobal>

// A non-blocking TCP socket listening on the IPv4 address and port (0: any free port). Its
// backlog of 64 lets a phone's connection wait while others come and go by the hundred. Raises
// Failure "Erreur socket : <system text> (<errno>), avec l'API '<call>'".
int OpenListeningSocket(quint32 address, quint16 port);
