#pragma once
// Recognising an accessory by its identification reply.
#include <QString>

struct ProbeKinds {
    bool focuser = false; // "QLO" or "!"
    bool dew = false;     // "BRS"
    bool panels = false;  // "PANPRI"
};
ProbeKinds RecogniseReply(const QString& reply);

// The text between the first "(" and the first ")" of the dew controller's reply, as given to
// the conversion (empty without ")").
QString FirmwareVersionText(const QString& reply);
