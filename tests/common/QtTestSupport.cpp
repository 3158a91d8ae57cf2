// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtTestSupport.h"

#include "ErrorReport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPlainTextEdit>
#include <QThread>

#include <ctime>

bool WaitFor(const std::function<bool()>& pred, int ms) {
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired()) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

ErrorRecorder::ErrorRecorder() {
    previous_ = SetErrorReporter([this](const QString& message) { messages << message; });
}

ErrorRecorder::~ErrorRecorder() {
    SetErrorReporter(previous_);
}

QStringList Lines(const QPlainTextEdit* memo) {
    return memo->toPlainText().split(QChar('\n'));
}

QStringList Texts(const QPlainTextEdit* memo) {
    QStringList texts;
    for (const QString& line : Lines(memo)) {
        const qsizetype blank = line.indexOf(QChar(' '));
        texts << (blank < 0 ? line : line.mid(blank + 1));
    }
    return texts;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

int OpenFdCount() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

int ThreadCount() {
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}
