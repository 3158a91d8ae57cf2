// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The waits of one link's exchanges. A wait suspends the coroutine that awaits it and the event
// loop runs on; the link's close ends every wait at once, cancelling its exchange (TCancelled is
// raised where it waited), and a hang-up ends the pauses early. Pauses keep the lengths the
// devices need; tests that do not care about timing shorten them through one seam.
#include "Failure.h"

#include <QObject>
#include <QTimer>
#include <coroutine>
#include <deque>
#include <functional>
#include <map>
#include <memory>

// How long a pause of ms really waits: ms itself unless a test says otherwise.
using PauseFn = std::function<int(int ms)>;
// Replaces the pause lengths; returns the previous way (empty: the lengths asked).
PauseFn SetPause(PauseFn pause);
int PauseLength(int ms);

class TWaits : public QObject {
  public:
    TWaits() = default;
    ~TWaits() override; // cancels what still waits
    TWaits(const TWaits&) = delete;
    TWaits& operator=(const TWaits&) = delete;

    class Awaiter {
      public:
        Awaiter(TWaits& waits, int ms) : waits_(&waits), ms_(ms) {}
        Awaiter(Awaiter&&) = default;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle);
        void await_resume() const {
            if (superseded_) throw TSuperseded();
            if (cancelled_) throw TCancelled();
        }
        // An arrival wait: true when the link's notification ended it, false on its bound or a
        // hang-up.
        bool Arrived() const { return arrived_; }

      private:
        friend class TWaits;
        TWaits* waits_;
        int ms_; // < 0: a place in the queue, woken by Next()
        bool arrival_ = false;
        std::coroutine_handle<> handle_;
        std::unique_ptr<QTimer> timer_;
        bool cancelled_ = false;
        bool superseded_ = false;
        bool arrived_ = false;
        QString key_; // a place in the queue: what it stands for, if anything
    };

    // co_await on it: suspends until the link's next receive notification (Arrive()) or ms
    // have passed, whichever comes first; then true when bytes arrived.
    class ArrivalAwaiter {
      public:
        explicit ArrivalAwaiter(Awaiter awaiter) : awaiter_(std::move(awaiter)) {}
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { awaiter_.await_suspend(handle); }
        bool await_resume() const {
            awaiter_.await_resume();
            return awaiter_.Arrived();
        }

      private:
        Awaiter awaiter_;
    };

    // co_await Pause(ms): suspends for the pause's length.
    Awaiter Pause(int ms) { return Awaiter(*this, ms); }
    // co_await Queue(): suspends until Next() wakes this place, in the order the places were
    // taken. key: what the place stands for (empty: nothing Withdraw can name).
    Awaiter Queue(const QString& key = {}) {
        Awaiter awaiter(*this, -1);
        awaiter.key_ = key;
        return awaiter;
    }
    // The places in the queue under key end at the next turn of the event loop with
    // TSuperseded; returns how many.
    int Withdraw(const QString& key);
    bool Queued() const { return !queue_.empty(); }
    // co_await Arrival(ms): see ArrivalAwaiter.
    ArrivalAwaiter Arrival(int ms);
    // Ends the arrival waits at the next turn of the event loop; false when none waits.
    bool Arrive();
    // The oldest place in the queue resumes at the next turn of the event loop.
    void Next();

    // Every wait resumes at once with TCancelled; called by the link's close.
    void Cancel();
    // Every pause ends at the next turn of the event loop (the line hung up); the queue stays.
    void Hurry();

  private:
    using Id = unsigned long long;
    void Add(Awaiter* awaiter);
    // Resumes the wait if it still waits (a close may have ended it meanwhile).
    void Resume(Id id);
    void Post(Id id);

    Id next_ = 0;
    std::map<Id, Awaiter*> waiting_;
    std::deque<Id> queue_;
};
