// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThreadedTimer.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

namespace {
void ApplyPriority(TThreadPriority priority) {
    // Linux has no thread priorities under the normal policy; a nice step stands for one.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, priority == TThreadPriority::Lower ? 1 : 0);
}
} // namespace

TThreadedTimer::TThreadedTimer(QObject* owner) : QObject(owner) {
    worker_ = std::thread([this] { Worker(); });
}

TThreadedTimer::~TThreadedTimer() {
    enabled_ = false;
    destroying_ = true;
    {
        std::lock_guard guard(lock_);
        terminated_ = true;
        running_ = false;
        wake_.notify_all();
    }
    handover_.Cancel();
    worker_.join();
}

void TThreadedTimer::SetInterval(int ms) {
    if (ms == interval_) return;
    const bool was = enabled_;
    if (was) SetEnabled(false);
    interval_ = ms;
    if (was) SetEnabled(true);
}

void TThreadedTimer::SetThreadPriority(TThreadPriority priority) {
    std::lock_guard guard(lock_);
    priority_ = priority;
    priorityDirty_ = true;
    wake_.notify_all();
}

void TThreadedTimer::SetEnabled(bool enabled) {
    if (enabled && interval_ == 0 && !AllowZero) return;
    if (enabled == enabled_) return;
    enabled_ = enabled;
    std::lock_guard guard(lock_);
    running_ = enabled;
    sharedInterval_ = interval_;
    ++generation_;
    wake_.notify_all();
}

void TThreadedTimer::Tick(unsigned generation) {
    {
        std::lock_guard guard(lock_);
        // A tick of an earlier enable (disabled and enabled again meanwhile) is stale.
        if (generation != generation_) return;
    }
    if (!enabled_ || destroying_ || !OnTimer) return;
    try {
        OnTimer();
    } catch (...) {
        // A failing tick is dropped without a trace; the next one comes as usual.
    }
}

void TThreadedTimer::Worker() {
    std::unique_lock guard(lock_);
    ApplyPriority(priority_);
    while (!terminated_) {
        if (priorityDirty_) {
            priorityDirty_ = false;
            ApplyPriority(priority_);
        }
        if (!running_) {
            wake_.wait(guard, [&] { return terminated_ || running_ || priorityDirty_; });
            continue;
        }
        const unsigned generation = generation_;
        const auto due =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(sharedInterval_);
        const bool signalled = wake_.wait_until(
            guard, due, [&] { return terminated_ || generation_ != generation || priorityDirty_; });
        if (signalled) continue; // woken: start the next wait without a tick
        guard.unlock();
        const bool ran = handover_.Run([this, generation] { Tick(generation); });
        guard.lock();
        if (!ran) break;
    }
}
