// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimDevice.h"

#include "Failure.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr std::size_t kSentKept = 64 * 1024;
constexpr auto kHangupBackoff = std::chrono::milliseconds(100);
constexpr auto kLongestWait = std::chrono::milliseconds(1000);

// Bytes that no reader of these protocols takes for a marker, a digit or a key letter.
char NoiseByte(unsigned& state) {
    static constexpr char kNoise[] = "\x01\x02\x03\x05\x07\x0b\x0e\x11\x13\x1b\x7f"
                                     "\x80\x9a\xa7\xb1\xc3\xd9\xe5\xf0\xfe?~%&@^|";
    state = state * 1103515245u + 12345u;
    return kNoise[(state >> 16) % (sizeof kNoise - 1)];
}

} // namespace

TSimDevice::TSimDevice(std::string kind, bool moveCommands)
    : kind_(std::move(kind)), port_(pty_.SlavePath()), framer_(moveCommands) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        throw Failure(QStringLiteral("Unable to create wake descriptor (Error: %1)").arg(errno));
}

TSimDevice::~TSimDevice() {
    Stop();
    ::close(wakeFd_);
}

void TSimDevice::Start() {
    nextAdvance_ = Clock::now();
    thread_ = std::thread([this] { Run(); });
}

void TSimDevice::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    Wake();
    thread_.join();
}

void TSimDevice::Wake() {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

std::vector<TReceived> TSimDevice::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> TSimDevice::Commands() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> commands;
    for (const auto& r : received_)
        if (r.complete) commands.push_back(r.text);
    return commands;
}

std::size_t TSimDevice::CommandCount() const {
    return Commands().size();
}

bool TSimDevice::WaitForCommand(std::string_view text, std::chrono::milliseconds timeout,
                                std::size_t from) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        std::size_t index = 0;
        for (const auto& r : received_) {
            if (!r.complete) continue;
            if (index++ >= from && r.text == text) return true;
        }
        return false;
    });
}

bool TSimDevice::WaitForCommandCount(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(
                   std::count_if(received_.begin(), received_.end(),
                                 [](const TReceived& r) { return r.complete; })) >= count;
    });
}

void TSimDevice::ClearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

std::string TSimDevice::Sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

void TSimDevice::SetFaults(const TFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

TFaults TSimDevice::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void TSimDevice::SendRaw(std::string_view bytes) {
    {
        std::lock_guard lock(mutex_);
        const auto due = outgoing_.empty() ? Clock::now() : outgoing_.back().due;
        outgoing_.push_back({due, std::string(bytes)});
    }
    Wake();
}

void TSimDevice::Unplug() {
    std::unique_lock lock(mutex_);
    if (stop_) return; // going away anyway
    if (!thread_.joinable()) {
        pty_.Close();
        plugged_ = false;
        return;
    }
    // The device thread owns the line's descriptors while it runs: it closes them.
    unplug_ = true;
    lock.unlock();
    Wake();
    lock.lock();
    changed_.wait(lock, [&] { return !plugged_; });
}

void TSimDevice::Plug() {
    std::unique_lock lock(mutex_);
    if (plugged_ || stop_) return;
    lock.unlock();
    // The device thread ended with the unplug.
    if (thread_.joinable()) thread_.join();
    lock.lock();
    pty_.Open();
    port_ = pty_.SlavePath();
    unplug_ = false;
    plugged_ = true;
    lock.unlock();
    Start();
}

std::string TSimDevice::Port() const {
    std::lock_guard lock(mutex_);
    return port_;
}

bool TSimDevice::Plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

void TSimDevice::Reply(std::string_view bytes, Clock::time_point now) {
    if (faults_.silent || bytes.empty()) return;
    std::string text(bytes);
    if (faults_.noLineEnd) std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    if (faults_.garbage)
        for (char& c : text)
            c = NoiseByte(noise_);
    if (text.empty()) return;
    // Answers never overtake each other, whatever their delays.
    auto due = now + faults_.delay;
    if (!outgoing_.empty()) due = std::max(due, outgoing_.back().due);
    const std::size_t piece = faults_.chunkSize > 0 ? faults_.chunkSize : text.size();
    for (std::size_t at = 0; at < text.size(); at += piece) {
        outgoing_.push_back({due, text.substr(at, piece)});
        due += faults_.chunkGap;
    }
}

void TSimDevice::CatchUp() {
    Advance(Clock::now());
    nextAdvance_ = Clock::time_point::min();
    Wake();
}

void TSimDevice::Handle(std::vector<TFramedText> pieces, Clock::time_point now) {
    for (auto& piece : pieces) {
        received_.push_back({piece.text, now, piece.complete});
        if (!piece.complete) continue;
        OnCommand(piece.text, now);
        nextAdvance_ = now; // a command may have started something that needs the clock
    }
    if (!pieces.empty()) changed_.notify_all();
}

void TSimDevice::Flush(Clock::time_point now) {
    while (!outgoing_.empty() && outgoing_.front().due <= now) {
        const std::string bytes = std::move(outgoing_.front().bytes);
        outgoing_.pop_front();
        if (!pty_.IsOpen()) continue;
        // Nobody reading and the line's buffer full: the bytes are lost, as on a real line.
        const ssize_t n = ::write(pty_.Master(), bytes.data(), bytes.size());
        if (n > 0) sent_.append(bytes, 0, static_cast<std::size_t>(n));
    }
    if (sent_.size() > kSentKept) sent_.erase(0, sent_.size() - kSentKept);
}

TSimDevice::Clock::time_point TSimDevice::NextWake(Clock::time_point now) {
    auto next = std::min(nextAdvance_, now + kLongestWait);
    if (const auto deadline = framer_.Deadline()) next = std::min(next, *deadline);
    if (!outgoing_.empty()) next = std::min(next, outgoing_.front().due);
    return next;
}

void TSimDevice::Run() {
    std::string input;
    for (;;) {
        std::unique_lock lock(mutex_);
        auto now = Clock::now();
        if (!input.empty()) Handle(framer_.Feed(input, now), now);
        input.clear();
        if (stop_) break;
        if (unplug_) {
            pty_.Close();
            plugged_ = false;
            outgoing_.clear();
            changed_.notify_all();
            break;
        }
        Handle(framer_.Expire(now), now);
        if (now >= nextAdvance_) nextAdvance_ = Advance(now);
        Flush(now);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(NextWake(now) - now);
        const bool listen = now >= deafUntil_;
        lock.unlock();

        pollfd fds[3] = {{wakeFd_, POLLIN, 0},
                         {pty_.WatchFd(), POLLIN, 0},
                         {listen ? pty_.Master() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 3, static_cast<int>(std::max<long long>(wait.count(), 0)));
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            (void)!::read(wakeFd_, &count, sizeof count);
        }
        if (fds[1].revents & POLLIN) pty_.HandleWatch();
        if (fds[2].revents & POLLIN) {
            char buffer[512];
            ssize_t n;
            while ((n = ::read(pty_.Master(), buffer, sizeof buffer)) > 0)
                input.append(buffer, static_cast<std::size_t>(n));
        } else if (fds[2].revents & (POLLHUP | POLLERR)) {
            // Poll would report this at once for ever; look again later.
            std::lock_guard relock(mutex_);
            deafUntil_ = Clock::now() + kHangupBackoff;
        }
    }
}
