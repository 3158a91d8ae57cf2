// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one error type of the program: serial, conversion and socket layers raise it,
// the device operations catch it and log its message after their French prefix.
#include <QString>
#include <exception>
#include <string>

class Failure : public std::exception {
  public:
    // code: the system's error number behind the failure (errno), 0 when there is none.
    explicit Failure(QString message, int code = 0)
        : message_(std::move(message)), utf8_(message_.toStdString()), code_(code) {}
    const QString& Message() const noexcept { return message_; }
    int Code() const noexcept { return code_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    QString message_;
    std::string utf8_;
    int code_;
};

// An exchange that ended because its link was closed (Disconnect All, exit) while it waited:
// nothing more is sent, and nobody is shown a box for it.
class TCancelled : public Failure {
  public:
    TCancelled() : Failure(QStringLiteral("link closed")) {}
};

// A request that waited for its device's turn and was replaced by a newer one of the same kind
// from the same client (or dropped with its client): it ends without touching the device.
class TSuperseded : public TCancelled {};
