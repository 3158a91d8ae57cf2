// SPDX-License-Identifier: GPL-3.0-or-later
#include "Device.h"

#include "ErrorReport.h"
#include "Failure.h"

#include <QDeadlineTimer>
#include <utility>

TDevice::TDevice(QString name, QString linkName, LogSink log, QObject* parent)
    : QObject(parent), name_(std::move(name)), log_(std::move(log)) {
    link_.setObjectName(linkName);
    link_.OnRxChar = [this] {
        // A poll waiting for its reply takes it; any other exchange reads for itself.
        if (!busy_)
            CharsArrived();
        else if (!waits_.Arrive())
            heldNotification_ = true;
    };
    link_.OnAfterOpen = [this] {
        ready_ = false;
        AfterOpen();
        emit Opened();
    };
    link_.OnAfterClose = [this] {
        heldNotification_ = false;
        ready_ = false;
        waits_.Cancel();
        emit Closed();
    };
    link_.OnLineLost = [this] {
        waits_.Hurry();
        emit LineLost();
    };
}

TDevice::~TDevice() {
    // What still waits unwinds now, while the device is whole.
    waits_.Cancel();
    // Exit closes the port and sends nothing; nobody hears of it any more.
    link_.OnRxChar = nullptr;
    link_.OnAfterOpen = nullptr;
    link_.OnAfterClose = nullptr;
    link_.OnLineLost = nullptr;
}

void TDevice::Open(const QString& port) {
    link_.SetPort(port);
    link_.Open();
}

void TDevice::Close() {
    if (!Connected()) return;
    BeforeClose();
    link_.Close();
}

QString TDevice::OpenErrorPrefix() const {
    return QStringLiteral("Erreur ouverture ") + link_.objectName() + QStringLiteral(" :");
}

QString TDevice::CloseLogLine() const {
    return QStringLiteral("Close ") + name_ + QStringLiteral(" Port");
}

QByteArray TDevice::Read() {
    QByteArray text;
    link_.ReadText(text, kReadMax);
    return text;
}

bool TDevice::ReadChunk(std::optional<QByteArray>& chunk) {
    chunk.reset();
    if (!Connected()) return true;
    try {
        chunk = Read();
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur lecture ") + link_.objectName() + QStringLiteral(" :") +
            e.Message());
        return false;
    }
    return true;
}

void TDevice::Log(const QString& line) const {
    if (log_) log_(line);
}

TTurn& TTurn::operator=(TTurn&& other) noexcept {
    if (this != &other) {
        Release();
        device_ = std::exchange(other.device_, nullptr);
    }
    return *this;
}

void TTurn::Release() {
    if (TDevice* device = std::exchange(device_, nullptr)) device->EndTurn();
}

QCoro::Task<TTurn> TDevice::Turn(QString key) {
    // Nothing waits on a closed link: a request for a device that is gone ends at once, and
    // none survives into the next connection.
    if (!Connected()) throw TCancelled();
    if (Engaged()) {
        queued_ -= waits_.Withdraw(key); // replaced: they leave the queue now
        if (queued_ >= kMaxWaiting)
            throw Failure(
                QStringLiteral("%1 is busy: %2 requests wait already").arg(name_).arg(queued_));
        ++queued_;
        ShowBusy();
        enum { Turned, Superseded, Cancelled } outcome = Turned;
        try {
            co_await waits_.Queue(key);
        } catch (const TSuperseded&) {
            outcome = Superseded; // its place was given back by whoever withdrew it
        } catch (const TCancelled&) {
            outcome = Cancelled;
        }
        if (outcome != Superseded) --queued_;
        ShowBusy();
        if (outcome == Cancelled) throw TCancelled();
        if (outcome == Superseded) {
            // Withdrawn as its turn came: the turn goes on to the next.
            if (!busy_ && waits_.Queued()) waits_.Next();
            throw TSuperseded();
        }
    }
    SetBusy(true);
    co_return TTurn(*this);
}

void TDevice::Withdraw(const QString& key) {
    queued_ -= waits_.Withdraw(key);
    ShowBusy();
}

void TDevice::EndTurn() {
    polling_ = false;
    if (duePoll_ && Connected()) {
        // A starved poll goes before those that wait; the turn stays taken meanwhile.
        QMetaObject::invokeMethod(this, std::exchange(duePoll_, {}), Qt::QueuedConnection);
        return;
    }
    duePoll_ = {};
    SetBusy(false);
    if (waits_.Queued()) {
        waits_.Next();
        return;
    }
    // Bytes that came while the exchange ran and that it left unread are read as they would
    // have been.
    if (std::exchange(heldNotification_, false))
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!Engaged() && Connected() && link_.Pending() > 0) CharsArrived();
            },
            Qt::QueuedConnection);
}

void TDevice::SetBusy(bool busy) {
    busy_ = busy;
    ShowBusy();
}

void TDevice::ShowBusy() {
    if (shownBusy_ == Busy()) return;
    shownBusy_ = Busy();
    emit BusyChanged();
}

void TDevice::MarkReady() {
    if (ready_ || !Connected()) return;
    ready_ = true;
    emit BecameReady();
}

void TDevice::StartPoll(const std::function<bool()>& write, int boundMs, int starvedMs) {
    if (!Connected()) return;
    if (Engaged()) {
        const bool starved =
            starvedMs >= 0 && lastPoll_.isValid() && lastPoll_.elapsed() > starvedMs;
        // Only when requests queue up: then the turn would never be free at a tick.
        if (busy_ && !polling_ && queued_ > 0 && starved && !duePoll_)
            duePoll_ = [this, write, boundMs] {
                // The turn was kept for it; nothing else ran meanwhile.
                busy_ = false;
                if (!RunPoll(write, boundMs)) EndTurn();
            };
        return;
    }
    RunPoll(write, boundMs);
}

bool TDevice::RunPoll(const std::function<bool()>& write, int boundMs) {
    if (!Connected()) return false;
    lastPoll_.start();
    busy_ = true; // taken at once: nothing may come between the write and its reply
    polling_ = true;
    TTurn turn(*this);
    if (!write()) {
        turn = TTurn();
        MarkReady();
        return true;
    }
    Launch(AwaitPollReply(std::move(turn), boundMs));
    return true;
}

QCoro::Task<bool> TDevice::AwaitReply(int boundMs) {
    const QDeadlineTimer deadline(boundMs, Qt::PreciseTimer);
    while (Connected() && !deadline.hasExpired()) {
        // False on the bound and on a hang-up: the reply will not come.
        if (!co_await waits_.Arrival(int(std::max<qint64>(1, deadline.remainingTime()))))
            co_return false;
        if (TakePollReply()) co_return true;
    }
    co_return false;
}

QCoro::Task<> TDevice::AwaitPollReply(TTurn turn, int boundMs) {
    try {
        co_await AwaitReply(boundMs);
    } catch (const TCancelled&) {
        co_return; // the link closed
    }
    turn = TTurn();
    MarkReady();
}
