// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The polling timers of tracking: created when it starts, destroyed when it stops. This is
// their one owner; a start while a timer runs replaces it only after destroying the old one.
#include "ThreadedTimer.h"

#include <functional>
#include <memory>

class TTracking {
  public:
    // ThreadedTimerQLO: 1000 ms, one step below normal priority.
    void StartFocusers(std::function<void()> tick) {
        Start(focusers_, focuserMs_, std::move(tick));
    }
    // ThreadedTimerBRS: 2000 ms.
    void StartDew(std::function<void()> tick) { Start(dew_, dewMs_, std::move(tick)); }
    // Disable and destroy; nothing when no timer runs. No tick runs after these return.
    void StopFocusers() { Stop(focusers_); }
    void StopDew() { Stop(dew_); }

    // Only for a run that compresses a night (the soak benchmark): the intervals of the next
    // starts. The program itself always polls at 1000 ms and 2000 ms.
    void SetIntervalsForSoak(int focuserMs, int dewMs) {
        focuserMs_ = focuserMs;
        dewMs_ = dewMs;
    }

    TThreadedTimer* ThreadedTimerQLO() const { return focusers_.get(); }
    TThreadedTimer* ThreadedTimerBRS() const { return dew_.get(); }

  private:
    void Start(std::unique_ptr<TThreadedTimer>& timer, int interval, std::function<void()> tick) {
        Stop(timer);
        timer = std::make_unique<TThreadedTimer>();
        timer->SetInterval(interval);
        timer->SetThreadPriority(TThreadPriority::Lower);
        timer->OnTimer = std::move(tick);
        timer->SetEnabled(true);
    }
    static void Stop(std::unique_ptr<TThreadedTimer>& timer) {
        if (!timer) return;
        timer->SetEnabled(false);
        timer.reset();
    }

    int focuserMs_ = 1000;
    int dewMs_ = 2000;
    std::unique_ptr<TThreadedTimer> focusers_;
    std::unique_ptr<TThreadedTimer> dew_;
};
