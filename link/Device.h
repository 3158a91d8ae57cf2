// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One accessory on its serial link. The device owns its link and its exchanges; windows call it
// and learn of what changed through its signals. Every device opens and closes the same way.
//
// Exchanges run one at a time per device, in the order they were asked, and suspend while they
// wait (the event loop runs on). While one runs nothing else is written to the device: a poll
// that falls due is skipped, and the receive notifications are left to the exchange's own reads;
// one notification held back meanwhile is handled when the exchange ends. Closing the link ends
// the running exchange and the queued ones at once (TCancelled where they wait).
#include "ComPort.h"
#include "LogSink.h"
#include "Waits.h"

#include <QCoroTask>
#include <QObject>
#include <optional>

class TDevice;

// The device's turn, held by one exchange; given back when it goes out of scope.
class TTurn {
  public:
    TTurn() = default;
    explicit TTurn(TDevice& device) : device_(&device) {}
    TTurn(TTurn&& other) noexcept : device_(std::exchange(other.device_, nullptr)) {}
    TTurn& operator=(TTurn&& other) noexcept;
    ~TTurn() { Release(); }

  private:
    void Release();
    TDevice* device_ = nullptr;
};

class TDevice : public QObject {
    Q_OBJECT
  public:
    // name: "QLO", "QLO2", "BRS", "Panels" as the logs write it.
    TDevice(QString name, QString linkName, LogSink log, QObject* parent = nullptr);
    ~TDevice() override;

    const QString& Name() const { return name_; }
    TComPort& Link() { return link_; }
    const TComPort& Link() const { return link_; }
    bool Connected() const { return link_.Connected(); }
    // An exchange runs or waits for its turn.
    bool Busy() const { return busy_ || waits_.Queued(); }

    // Waits for the device's turn; exchanges then run their steps while they hold it. Raises
    // TCancelled when the link closes first.
    QCoro::Task<TTurn> Turn();
    // A pause of an exchange; it ends early when the line hangs up. Raises TCancelled when the
    // link closes meanwhile.
    TWaits::Awaiter Pause(int ms) { return waits_.Pause(ms); }

    // Opens the link on port; raises Failure.
    void Open(const QString& port);
    // What a device is told right after it is connected (a focuser is put in manual mode);
    // write errors are logged, not raised.
    virtual void Greet() {}
    // Says goodbye to the device (a focuser is put back in manual mode) and closes the link.
    // A failing close raises and leaves the link open.
    void Close();

    // Lets go of a link whose line hung up, saying nothing to the device (see TComPort::Abandon).
    void Release() { link_.Abandon(); }

    // The debug-log prefix of this device's open errors ("Erreur ouverture ComPortQLO :").
    virtual QString OpenErrorPrefix() const;
    // The debug-log line of a close ("Close QLO Port").
    QString CloseLogLine() const;

    // Reads at most 80 characters, the most any exchange asks for; raises Failure.
    QByteArray Read();
    // The read of a receive notification: chunk stays empty when the link is closed (nothing is
    // read). A failed read is logged ("Erreur lecture ComPortQLO :...") and returns false.
    bool ReadChunk(std::optional<QByteArray>& chunk);
    void Log(const QString& line) const;

  signals:
    void Opened(); // after the link opened
    void Closed(); // after the link closed
    void BusyChanged();
    // The link's line hung up (the device was unplugged); the link stays open until closed.
    void LineLost();

  protected:
    // Right after the link opened, before Opened is signalled.
    virtual void AfterOpen() {}
    virtual void BeforeClose() {}
    // The link's receive notification.
    virtual void CharsArrived() {}

  private:
    friend class TTurn;
    void EndTurn();
    void SetBusy(bool busy);

    QString name_;
    LogSink log_;
    TComPort link_;
    TWaits waits_;
    bool busy_ = false;
    bool heldNotification_ = false;
};

// Largest single read of every exchange.
inline constexpr int kReadMax = 80;
