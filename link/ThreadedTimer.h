// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Polling timer whose worker thread waits for the interval and hands the tick over to the GUI
// thread synchronously, so ticks never queue up. Destroying it never deadlocks and no tick runs
// after the destructor returns.
#include "Handover.h"

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

enum class TThreadPriority { Lower, Normal };

class TThreadedTimer : public QObject {
  public:
    explicit TThreadedTimer(QObject* owner = nullptr);
    ~TThreadedTimer() override;

    int Interval() const { return interval_; }
    void SetInterval(int ms); // while enabled: disable, store, enable
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority priority);
    bool AllowZero = false;
    std::function<void()> OnTimer; // errors it raises are discarded

  private:
    void Worker();
    void Tick(unsigned generation);

    int interval_ = 5000;
    bool enabled_ = false;
    bool destroying_ = false;
    TThreadPriority priority_ = TThreadPriority::Normal;

    // Shared with the worker, under lock_.
    std::mutex lock_;
    std::condition_variable wake_;
    bool running_ = false; // the worker waits for intervals (else it is suspended)
    bool terminated_ = false;
    unsigned generation_ = 0; // bumped by every enable/disable/interval change
    int sharedInterval_ = 5000;
    bool priorityDirty_ = false;

    THandover handover_{this};
    std::thread worker_;
};
