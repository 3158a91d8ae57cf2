// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One accessory on its serial link. The device owns its link and its exchanges; windows call it
// and learn of what changed through its signals. Every device opens and closes the same way.
//
// Exchanges run one at a time per device, in the order they were asked, and suspend while they
// wait (the event loop runs on). While one runs nothing else is written to the device: a poll
// that falls due is skipped, and the receive notifications are left to the exchange's own reads;
// one notification held back meanwhile is handled when the exchange ends. A poll is an exchange
// too: it holds the turn from its write until its reply came or its bound passed, so no exchange
// reads a poll's reply. Closing the link ends the running exchange and the queued ones at once
// (TCancelled where they wait); an exchange asked while the link is closed ends at once too.
//
// A device is offered to its clients (windows, phone, servers) once it is Ready: connected,
// greeted, and its first poll over.
#include "ComPort.h"
#include "LogSink.h"
#include "Waits.h"

#include <QCoroTask>
#include <QElapsedTimer>
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
    // Connected, greeted and polled once since: clients may use it.
    bool Ready() const { return ready_; }
    // A client's exchange runs or waits for its turn (a poll alone does not count: it is over
    // in a moment and holds nobody's buttons).
    bool Busy() const { return (busy_ && !polling_) || queued_ > 0; }
    // Nothing may be written outside an exchange now: one (a poll included) holds the turn or
    // waits for it.
    bool Engaged() const { return busy_ || queued_ > 0; }

    // Waits for the device's turn; exchanges then run their steps while they hold it. Raises
    // TCancelled when the link is closed or closes first. key names what the request stands for
    // (a client's move, one setting's write): a newer request under the same key replaces one
    // that still waits, which then raises TSuperseded. At most kMaxWaiting requests wait; one
    // more is refused at once (Failure).
    QCoro::Task<TTurn> Turn(QString key = {});
    static constexpr int kMaxWaiting = 6;
    // What waits under key ends with TSuperseded (its client has gone).
    void Withdraw(const QString& key);
    // A pause of an exchange; it ends early when the line hangs up. Raises TCancelled when the
    // link closes meanwhile.
    TWaits::Awaiter Pause(int ms) { return waits_.Pause(ms); }

    // Opens the link on port; raises Failure.
    void Open(const QString& port);
    // What a device is told right after it is connected (a focuser is put in manual mode);
    // write errors are logged, not raised.
    virtual void Greet() {}
    // One poll of the device's readings (see StartPoll); nothing for a device never polled.
    virtual void Poll() {}
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
    void Opened();      // after the link opened
    void Closed();      // after the link closed
    void BecameReady(); // greeted and polled once since the link opened
    void BusyChanged();
    // The link's line hung up (the device was unplugged); the link stays open until closed.
    void LineLost();

  protected:
    // Right after the link opened, before Opened is signalled.
    virtual void AfterOpen() {}
    virtual void BeforeClose() {}
    // The link's receive notification.
    virtual void CharsArrived() {}

    // A poll: unless the device is closed or an exchange runs or waits (the poll is then
    // skipped), write() writes the poll's command (false when it could not) and the poll
    // holds the turn while TakePollReply() reads what arrives, until it says the reply is whole
    // or boundMs have passed. The first poll after the greeting makes the device Ready.
    // With starvedMs, a poll that falls due while an exchange runs and others wait behind it is
    // not skipped once the last poll is older than that: it runs as soon as the running exchange
    // ends, before those that wait, so that a stream of requests cannot stop the polling.
    void StartPoll(const std::function<bool()>& write, int boundMs, int starvedMs = -1);
    // Reads what arrived for a poll and runs the receive step; true when the reply is whole.
    virtual bool TakePollReply() { return true; }
    // In an exchange's turn, after it wrote a poll's command: reads as a poll does; true when
    // the reply came whole, false after boundMs or a hang-up. Raises TCancelled when the link
    // closes.
    QCoro::Task<bool> AwaitReply(int boundMs);
    // A device that is never polled is Ready once greeted.
    void MarkReady();
    // Ends every exchange at once, running or queued, while the device is still whole; for the
    // destructors of the devices whose exchanges touch their own members.
    void CancelExchanges() { waits_.Cancel(); }

  private:
    friend class TTurn;
    void EndTurn();
    void SetBusy(bool busy);
    void ShowBusy();
    QCoro::Task<> AwaitPollReply(TTurn turn, int boundMs);
    // False when the link is closed: nothing was written and the turn was not taken.
    bool RunPoll(const std::function<bool()>& write, int boundMs);

    QString name_;
    LogSink log_;
    TComPort link_;
    TWaits waits_;
    bool busy_ = false;
    bool polling_ = false; // the turn is held by a poll
    int queued_ = 0;       // exchanges waiting for the turn
    bool shownBusy_ = false;
    bool ready_ = false;
    bool heldNotification_ = false;
    QElapsedTimer lastPoll_;
    // A starved poll to run when the running exchange ends.
    std::function<void()> duePoll_;
};

// Largest single read of every exchange.
inline constexpr int kReadMax = 80;
