#pragma once
#include <QtGlobal>

// A non-blocking TCP socket listening on the IPv4 address and port (0: any free port), with a
// backlog of 5. Raises Failure "Erreur socket : <system text> (<errno>), avec l'API '<call>'".
int OpenListeningSocket(quint32 address, quint16 port);
