// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's default error report: an error that no handler caught ends here, is shown
// to the user (a modal box in the program, a recorder in tests) and the program goes on.
#include "Failure.h"

#include <QCoroTask>
#include <QString>
#include <functional>

using ErrorReporter = std::function<void(const QString& message)>;

// Replaces the reporter; returns the previous one. The message given is already finished.
ErrorReporter SetErrorReporter(ErrorReporter reporter);

// A full stop is appended when the message's last character sorts after the full stop.
QString WithFullStop(const QString& message);

void ReportError(const QString& message);

// Inside a catch block: the exception being handled goes to the default error report (an
// exchange cut short by its link's close is no error and is not reported).
void ReportCaught();

// Runs fn; whatever escapes it goes to the default error report.
template <class F> void Guarded(F&& fn) {
    try {
        fn();
    } catch (...) {
        ReportCaught();
    }
}

// A slot for Qt connections: nothing thrown by fn crosses Qt's signal machinery.
template <class F> auto GuardedSlot(F fn) {
    return [fn = std::move(fn)] { Guarded(fn); };
}

// Runs a handler's exchange to its end without waiting for it: the handler returns at once.
// What escapes the task goes to the default error report once it has unwound.
void Launch(QCoro::Task<> task);
