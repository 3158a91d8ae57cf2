#pragma once
// The one error type of the program: serial, conversion and socket layers raise it,
// the device operations catch it and log its message after their French prefix.
#include <QString>
#include <exception>
#include <string>

class Failure : public std::exception {
  public:
    explicit Failure(QString message)
        : message_(std::move(message)), utf8_(message_.toStdString()) {}
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    QString message_;
    std::string utf8_;
};
