// SPDX-License-Identifier: GPL-3.0-or-later
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

#include <QCoroTask>

class TComPort;
class TWaits;
// The identification exchange on a probe port, already named: open it, ask "SWHOIS" and read
// every 100 ms until a read holds a carriage return, at most 30 reads; then ask "FMMODE" and
// read the same way. reply holds the last read. Returns true when a carriage return came (the
// probe port is then closed); false when both rounds stayed silent (the port stays open for
// the next probe or Disconnect All to close). Link errors raise Failure with reply as it stood;
// the pauses suspend on waits, whose cancel (the search stopped) raises TCancelled.
QCoro::Task<bool> Identify(TComPort& probe, TWaits& waits, QByteArray& reply);

// The notification for a port this user may not open, with how to get access.
QString NoAccessNotice(const QString& port);

#include "ComPort.h"
#include "Waits.h"

#include <QStringList>
#include <optional>

// One port's identification, run beside the other ports' on a probe link of its own.
class TPortProbe {
  public:
    explicit TPortProbe(QString port);

    const QString Port;
    QByteArray Reply;             // the last read
    std::optional<Failure> Error; // what ended the probe early
    bool Stopped = false;         // the search was stopped meanwhile
    TComPort& Link() { return link_; }
    // Both probes stayed silent: the probe link is still open.
    bool Silent() const { return link_.Connected(); }

    // Runs the identification; never raises (what ends it is kept above).
    QCoro::Task<> Run();
    // Ends the probe at once and closes its link.
    void Stop();

  private:
    TComPort link_;
    TWaits waits_;
};
