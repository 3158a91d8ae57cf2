// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for tests that run the windows and links with an event loop.
#include <QCoroTask>
#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>

// Runs the event loop until pred is true or ms have passed; returns pred's last value.
bool WaitFor(const std::function<bool()>& pred, int ms);
// Runs the event loop for ms.
void Pump(int ms);

// Runs the event loop until the task has ended (at most ms) and gives its result or raises
// what it raised.
template <class T> T Await(QCoro::Task<T> task, int ms = 60000) {
    struct Outcome {
        std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
        std::exception_ptr error;
        bool done = false;
    } outcome;
    auto run = [](QCoro::Task<T> t, Outcome& o) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>)
                co_await std::move(t);
            else
                o.value = co_await std::move(t);
        } catch (...) {
            o.error = std::current_exception();
        }
        o.done = true;
    };
    auto running = run(std::move(task), outcome);
    if (!WaitFor([&] { return outcome.done; }, ms))
        throw std::runtime_error("the task did not end in time");
    if (outcome.error) std::rethrow_exception(outcome.error);
    if constexpr (!std::is_void_v<T>) return std::move(*outcome.value);
}

// Records what the default error report would show, for the lifetime of the object.
class ErrorRecorder {
  public:
    ErrorRecorder();
    ~ErrorRecorder();
    QStringList messages;

  private:
    std::function<void(const QString&)> previous_;
};

// The text of a log box, line by line.
QStringList Lines(const class QPlainTextEdit* memo);
// The log lines with their time stamp and blank removed.
QStringList Texts(const class QPlainTextEdit* memo);

// CPU time used by this process so far, in seconds (user + system).
double ProcessCpuSeconds();
// Open file descriptors and threads of this process.
int OpenFdCount();
int ThreadCount();
