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

class TComPort;
// The identification exchange on the probe port, already named: open it, ask "SWHOIS" and read
// every 100 ms until a read holds a carriage return, at most 30 reads; then ask "FMMODE" and
// read the same way. reply holds the last read. Returns true when a carriage return came (the
// probe port is then closed); false when both rounds stayed silent (the port stays open for
// the next probe or Disconnect All to close). Link errors raise Failure with reply as it stood.
bool Identify(TComPort& probe, QByteArray& reply);

// The notification for a port this user may not open, with how to get access.
QString NoAccessNotice(const QString& port);
