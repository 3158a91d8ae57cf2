// SPDX-License-Identifier: GPL-3.0-or-later
#include "Waits.h"

#include <algorithm>

namespace {
constexpr int kPauseSlackMs = 2;

PauseFn& Current() {
    static PauseFn pause;
    return pause;
}
} // namespace

PauseFn SetPause(PauseFn pause) {
    PauseFn old = std::move(Current());
    Current() = std::move(pause);
    return old;
}

int PauseLength(int ms) {
    return Current() ? Current()(ms) : ms;
}

void TWaits::Awaiter::await_suspend(std::coroutine_handle<> handle) {
    handle_ = handle;
    waits_->Add(this);
}

TWaits::~TWaits() {
    Cancel();
}

void TWaits::Add(Awaiter* awaiter) {
    const Id id = next_++;
    waiting_[id] = awaiter;
    if (awaiter->ms_ < 0) {
        queue_.push_back(id);
        return;
    }
    // The timer only posts the resumption: the coroutine then runs from the event loop, never
    // inside the timer's own signal, and may end the timer with its frame.
    awaiter->timer_ = std::make_unique<QTimer>();
    awaiter->timer_->setSingleShot(true);
    // A coarse timer may end up to 5 % early; the devices need their pauses whole.
    awaiter->timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(awaiter->timer_.get(), &QTimer::timeout, this, [this, id] { Post(id); });
    // A pause gets a hair more than asked: what the device sees of it may come a little late at
    // its start, never early at its end. A bound needs none.
    const int slack = awaiter->arrival_ || awaiter->ms_ == 0 ? 0 : kPauseSlackMs;
    awaiter->timer_->start(PauseLength(awaiter->ms_) + slack);
}

void TWaits::Post(Id id) {
    QMetaObject::invokeMethod(
        this, [this, id] { Resume(id); }, Qt::QueuedConnection);
}

void TWaits::Resume(Id id) {
    const auto found = waiting_.find(id);
    if (found == waiting_.end()) return;
    Awaiter* awaiter = found->second;
    waiting_.erase(found);
    queue_.erase(std::remove(queue_.begin(), queue_.end(), id), queue_.end());
    awaiter->handle_.resume();
}

TWaits::ArrivalAwaiter TWaits::Arrival(int ms) {
    Awaiter awaiter(*this, std::max(0, ms));
    awaiter.arrival_ = true;
    return ArrivalAwaiter(std::move(awaiter));
}

bool TWaits::Arrive() {
    bool any = false;
    for (auto& [id, awaiter] : waiting_)
        if (awaiter->arrival_ && !awaiter->arrived_) {
            awaiter->arrived_ = true;
            awaiter->timer_->stop();
            Post(id);
            any = true;
        }
    return any;
}

int TWaits::Withdraw(const QString& key) {
    if (key.isEmpty()) return 0;
    int withdrawn = 0;
    for (auto it = queue_.begin(); it != queue_.end();) {
        Awaiter* awaiter = waiting_.at(*it);
        if (awaiter->key_ != key) {
            ++it;
            continue;
        }
        awaiter->superseded_ = true;
        Post(*it);
        it = queue_.erase(it);
        ++withdrawn;
    }
    return withdrawn;
}

void TWaits::Next() {
    if (!queue_.empty()) Post(queue_.front());
}

void TWaits::Cancel() {
    std::map<Id, Awaiter*> all;
    all.swap(waiting_);
    queue_.clear();
    for (auto& [id, awaiter] : all) {
        awaiter->cancelled_ = true;
        if (awaiter->timer_) awaiter->timer_->stop();
    }
    // Oldest first, so queued exchanges unwind in the order they were asked.
    for (auto& [id, awaiter] : all)
        awaiter->handle_.resume();
}

void TWaits::Hurry() {
    for (auto& [id, awaiter] : waiting_)
        if (awaiter->timer_) {
            awaiter->timer_->stop();
            Post(id);
        }
}
