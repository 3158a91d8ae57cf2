#pragma once
// Helpers for tests that run the windows and links with an event loop.
#include <QString>
#include <QStringList>
#include <functional>

// Runs the event loop until pred is true or ms have passed; returns pred's last value.
bool WaitFor(const std::function<bool()>& pred, int ms);
// Runs the event loop for ms.
void Pump(int ms);

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
