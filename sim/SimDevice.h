// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A simulated accessory on its own pseudo-terminal. One thread per device waits in poll() on
// the line, frames the commands, records each one with its arrival time, lets the device
// answer, and sends the answers through the fault settings. Derived devices are final, call
// Start() at the end of their constructor and Stop() first in their destructor, so that the
// thread never runs a half-built or half-destroyed device.
#include "CommandFramer.h"
#include "Pty.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct TReceived {
    std::string text;
    std::chrono::steady_clock::time_point at;
    bool complete = true; // false: partial text the device dropped after a silence
};

// Faults a device can show on request; all off by default.
struct TFaults {
    std::chrono::milliseconds delay{0};    // every answer leaves this much later
    std::size_t chunkSize = 0;             // > 0: answers leave in pieces of this many bytes
    std::chrono::milliseconds chunkGap{0}; // pause between pieces
    bool garbage = false;   // answers are replaced by noise of the same length, free of markers
    bool noLineEnd = false; // carriage returns and line feeds are left out of answers
    bool silent = false;    // nothing is answered; commands are still recorded
};

class TSimDevice {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~TSimDevice();
    TSimDevice(const TSimDevice&) = delete;
    TSimDevice& operator=(const TSimDevice&) = delete;

    // The port name programs open: /dev/pts/N.
    // The device's path; a new one after each plug.
    std::string Port() const;
    // "focuser", "dew", "panels", "silent".
    const std::string& Kind() const { return kind_; }

    // Every command received, in order, with partial texts dropped after a silence.
    std::vector<TReceived> Received() const;
    // The complete commands only.
    std::vector<std::string> Commands() const;
    std::size_t CommandCount() const;
    // Waits until a complete command equal to `text` is recorded at index `from` or later
    // (of Commands()); false after `timeout`.
    bool WaitForCommand(std::string_view text, std::chrono::milliseconds timeout,
                        std::size_t from = 0) const;
    // Waits until at least `count` complete commands are recorded.
    bool WaitForCommandCount(std::size_t count, std::chrono::milliseconds timeout) const;
    void ClearReceived();

    // The bytes written to the line so far (the latest 64 KiB).
    std::string Sent() const;

    void SetFaults(const TFaults& faults);
    TFaults Faults() const;
    // Unsolicited bytes, sent at once exactly as given (no fault applies).
    void SendRaw(std::string_view bytes);
    // Closes the device's end of the line: the port's path disappears and an open link sees a
    // hang-up. Returns when done. There is no way back, as with a pulled cable.
    void Unplug();
    // Plugged in again after Unplug, on a new pseudo-terminal (Port() names it): the device
    // keeps its state, as a device on a replugged cable does.
    void Plug();
    bool Plugged() const;

  protected:
    TSimDevice(std::string kind, bool moveCommands);
    void Start();
    void Stop();

    // Device behaviour, run on the device thread with mutex_ held.
    virtual void OnCommand(const std::string& command, Clock::time_point now) = 0;
    // Brings the simulated physics up to `now`; returns when it next wants to run.
    virtual Clock::time_point Advance(Clock::time_point now) = 0;
    // Queues an answer; call with mutex_ held.
    void Reply(std::string_view bytes, Clock::time_point now);
    // Before a setter changes the state from outside: brings the simulation up to now under
    // the old state and makes the thread run Advance again soon. Call with mutex_ held.
    void CatchUp();

    mutable std::mutex mutex_; // guards the device's state and everything below

  private:
    struct TOutgoing {
        Clock::time_point due;
        std::string bytes;
    };

    void Run();
    void Wake();
    void Handle(std::vector<TFramedText> pieces, Clock::time_point now);
    void Flush(Clock::time_point now);
    Clock::time_point NextWake(Clock::time_point now);

    const std::string kind_;
    TPty pty_;
    std::string port_;
    TCommandFramer framer_;
    int wakeFd_ = -1;
    std::thread thread_;
    bool stop_ = false;
    bool unplug_ = false;
    bool plugged_ = true;
    Clock::time_point deafUntil_{}; // master hung up: do not poll it until then
    Clock::time_point nextAdvance_{};
    std::vector<TReceived> received_;
    std::deque<TOutgoing> outgoing_;
    std::string sent_;
    TFaults faults_;
    unsigned noise_ = 12345;
    mutable std::condition_variable changed_;
};
