// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandFramer.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Line ends, blanks and NUL between commands are line noise, not the start of a command.
bool IsNoise(char c) {
    return c == '\r' || c == '\n' || c == ' ' || c == '\0';
}

bool IsMoveLetter(char c) {
    return c == 'I' || c == 'O';
}

} // namespace

bool TCommandFramer::MovePending() const {
    if (!moves_ || pending_.size() < 2 || !IsMoveLetter(pending_[0])) return false;
    for (std::size_t i = 1; i < pending_.size(); ++i)
        if (!IsDigit(pending_[i])) return false;
    return true;
}

void TCommandFramer::Extract(std::vector<TFramedText>& out) {
    while (!pending_.empty()) {
        if (IsNoise(pending_[0])) {
            pending_.erase(0, 1);
            continue;
        }
        if (moves_ && IsMoveLetter(pending_[0])) {
            std::size_t end = 1;
            while (end < pending_.size() && IsDigit(pending_[end]))
                ++end;
            if (end == pending_.size()) return; // more digits may follow
            if (end > 1) {
                out.push_back({pending_.substr(0, end), true});
                pending_.erase(0, end);
                continue;
            }
            // A move letter without digits: an ordinary six-character command.
        }
        if (pending_.size() < kLength) return;
        out.push_back({pending_.substr(0, kLength), true});
        pending_.erase(0, kLength);
    }
}

std::vector<TFramedText> TCommandFramer::Feed(std::string_view bytes, Clock::time_point now) {
    std::vector<TFramedText> out;
    if (bytes.empty()) return out;
    // A partial command older than the silence rule is dropped before new bytes join it.
    out = Expire(now);
    pending_.append(bytes);
    last_ = now;
    Extract(out);
    return out;
}

std::vector<TFramedText> TCommandFramer::Expire(Clock::time_point now) {
    std::vector<TFramedText> out;
    const auto deadline = Deadline();
    if (!deadline || now < *deadline) return out;
    const bool move = MovePending() && pending_.size() >= kLength;
    out.push_back({pending_, move});
    pending_.clear();
    return out;
}

std::optional<TCommandFramer::Clock::time_point> TCommandFramer::Deadline() const {
    if (pending_.empty()) return std::nullopt;
    if (MovePending() && pending_.size() >= kLength) return last_ + kMoveQuiet;
    return last_ + kStaleAfter;
}
