// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-over of a notification from a worker thread to the GUI thread, synchronously and
// cancellably. The worker queues the call and waits for "ran" or "cancelled"; the GUI thread
// cancels before it joins the worker, so neither waits for the other for ever, and a queued
// call that is delivered after the cancel does nothing.
#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class THandover {
  public:
    // context: an object living on the GUI thread; the calls run in its thread.
    explicit THandover(QObject* context);
    ~THandover();
    THandover(const THandover&) = delete;
    THandover& operator=(const THandover&) = delete;

    // Worker thread: run fn on the GUI thread and wait until it has run.
    // Returns false when cancelled (fn then never runs).
    bool Run(std::function<void()> fn);

    // GUI thread: no queued or future call runs any more; a waiting worker returns at once.
    void Cancel();
    // GUI thread: accept calls again (a new session; calls of the old one stay cancelled).
    void Reset();

  private:
    struct Session;
    QObject* context_;
    std::shared_ptr<Session> session_;
    std::mutex sessionLock_;
};
