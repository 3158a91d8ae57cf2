// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real serial link on a simulated device's port, read by polling in bounded loops.
#include "ComPort.h"

#include <QByteArray>
#include <chrono>
#include <functional>
#include <string>

using namespace std::chrono_literals;

class TSimLink {
  public:
    explicit TSimLink(const std::string& port);

    void Send(const QByteArray& command) { link.WriteText(command); }
    // Reads until `done` holds for all text read so far, or `timeout` passes.
    QByteArray ReadUntil(const std::function<bool(const QByteArray&)>& done,
                         std::chrono::milliseconds timeout);
    // Reads until the text ends with `end`.
    QByteArray ReadUntilEnd(const QByteArray& end, std::chrono::milliseconds timeout = 2s);
    // Everything that arrives within `span`.
    QByteArray ReadFor(std::chrono::milliseconds span);
    // Sends and reads until the answer ends with `end`.
    QByteArray Ask(const QByteArray& command, const QByteArray& end,
                   std::chrono::milliseconds timeout = 2s);

    TComPort link;
};
