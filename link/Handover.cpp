// SPDX-License-Identifier: GPL-3.0-or-later
#include "Handover.h"

namespace {
// Qt's event queue orders the posting of a call before its delivery, but inside Qt, out of
// sight of ThreadSanitizer (Qt is not instrumented). Posting under this lock, and taking it
// before a delivered call reads anything, states the same order where the detector sees it.
std::mutex& PostLock() {
    static std::mutex lock;
    return lock;
}
} // namespace

struct THandover::Session {
    std::mutex lock;
    std::condition_variable changed;
    bool cancelled = false;
};

THandover::THandover(QObject* context) : context_(context), session_(std::make_shared<Session>()) {}

THandover::~THandover() {
    Cancel();
}

bool THandover::Run(std::function<void()> fn) {
    std::shared_ptr<Session> session;
    {
        std::lock_guard guard(sessionLock_);
        session = session_;
    }
    auto done = std::make_shared<bool>(false);
    {
        std::lock_guard guard(session->lock);
        if (session->cancelled) return false;
    }
    std::unique_lock posting(PostLock());
    QMetaObject::invokeMethod(
        context_,
        [session, done, fn = std::move(fn)] {
            { std::lock_guard delivered(PostLock()); }
            {
                std::lock_guard guard(session->lock);
                if (session->cancelled) return;
            }
            // Whatever fn does (even cancel this session), the worker is released after it.
            struct Release {
                std::shared_ptr<Session> session;
                std::shared_ptr<bool> done;
                ~Release() {
                    std::lock_guard guard(session->lock);
                    *done = true;
                    session->changed.notify_all();
                }
            } release{session, done};
            fn();
        },
        Qt::QueuedConnection);
    posting.unlock();
    std::unique_lock wait(session->lock);
    session->changed.wait(wait, [&] { return *done || session->cancelled; });
    return *done;
}

void THandover::Cancel() {
    std::shared_ptr<Session> session;
    {
        std::lock_guard guard(sessionLock_);
        session = session_;
    }
    std::lock_guard guard(session->lock);
    session->cancelled = true;
    session->changed.notify_all();
}

void THandover::Reset() {
    auto fresh = std::make_shared<Session>();
    std::lock_guard guard(sessionLock_);
    session_ = fresh;
}
