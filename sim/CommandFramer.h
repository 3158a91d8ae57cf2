// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Cuts the bytes a simulated device receives into commands, as the accessories' firmware does:
// a command is six characters; with move commands on, "I" or "O" followed by digits is one
// command of any length, ended by the first non-digit or, once six characters are there, by a
// short silence. A partial command is dropped after a silence no sender would leave inside a
// command (six characters take 3 ms at 19200 bit/s).
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TFramedText {
    std::string text;
    bool complete = true; // false: partial text dropped after a silence
};

class TCommandFramer {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kStaleAfter = std::chrono::milliseconds(100);
    static constexpr auto kMoveQuiet = std::chrono::milliseconds(15);
    static constexpr std::size_t kLength = 6;

    explicit TCommandFramer(bool moveCommands) : moves_(moveCommands) {}

    // Bytes that arrived at `now`; returns the commands they complete.
    std::vector<TFramedText> Feed(std::string_view bytes, Clock::time_point now);
    // What silence up to `now` completes or drops.
    std::vector<TFramedText> Expire(Clock::time_point now);
    // When Expire next has something to do; none while nothing is pending.
    std::optional<Clock::time_point> Deadline() const;

  private:
    bool MovePending() const;
    void Extract(std::vector<TFramedText>& out);

    bool moves_;
    std::string pending_;
    Clock::time_point last_{};
};
