// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimTestSupport.h"

#include <thread>

TSimLink::TSimLink(const std::string& port) {
    link.SetPort(QString::fromStdString(port));
    link.Open();
}

QByteArray TSimLink::ReadUntil(const std::function<bool(const QByteArray&)>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QByteArray all;
    QByteArray chunk;
    while (!done(all) && std::chrono::steady_clock::now() < deadline) {
        if (link.ReadText(chunk, 80) > 0)
            all += chunk;
        else
            std::this_thread::sleep_for(2ms);
    }
    return all;
}

QByteArray TSimLink::ReadUntilEnd(const QByteArray& end, std::chrono::milliseconds timeout) {
    return ReadUntil([&](const QByteArray& text) { return text.endsWith(end); }, timeout);
}

QByteArray TSimLink::ReadFor(std::chrono::milliseconds span) {
    return ReadUntil([](const QByteArray&) { return false; }, span);
}

QByteArray TSimLink::Ask(const QByteArray& command, const QByteArray& end,
                         std::chrono::milliseconds timeout) {
    Send(command);
    return ReadUntilEnd(end, timeout);
}
