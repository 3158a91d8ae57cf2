// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorReport.h"

#include <cstdio>

namespace {
ErrorReporter& Reporter() {
    static ErrorReporter reporter;
    return reporter;
}
} // namespace

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
    ErrorReporter old = std::move(Reporter());
    Reporter() = std::move(reporter);
    return old;
}

QString WithFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar('.')) return message + QChar('.');
    return message;
}

void ReportError(const QString& message) {
    const QString text = WithFullStop(message);
    if (Reporter()) {
        Reporter()(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void ReportCaught() {
    try {
        throw;
    } catch (const TCancelled&) {
    } catch (const Failure& e) {
        ReportError(e.Message());
    } catch (const std::exception& e) {
        ReportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
}

namespace {
QCoro::Task<> Detached(QCoro::Task<> task) {
    try {
        co_await std::move(task);
    } catch (...) {
        ReportCaught();
    }
}
} // namespace

void Launch(QCoro::Task<> task) {
    Detached(std::move(task));
}
