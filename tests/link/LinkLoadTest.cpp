// SPDX-License-Identifier: GPL-3.0-or-later
// A link must not spin: neither on bytes that nobody reads (the panels link has no receive
// handler) nor on a port whose device is gone (poll then reports a hang-up at once, for ever).
// Measured in CPU time of the link's event thread and of the whole process, not wall time.
#include "ComPort.h"
#include "LinkTestSupport.h"
#include "QtTestSupport.h"
#include "TestPty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kMeasureMs = 3000;
constexpr double kCpuBoundSeconds = 0.5;

// Pushes 64 bytes into the far end every millisecond; refused writes (the port is full) are
// dropped, as a device would keep sending into a full buffer.
class Flood {
  public:
    explicit Flood(int master) : master_(master), writer_([this] { Run(); }) {}
    ~Flood() {
        stop_ = true;
        writer_.join();
    }
    long Written() const { return written_; }

  private:
    void Run() {
        const QByteArray chunk(64, 'F');
        while (!stop_) {
            const ssize_t n = ::write(master_, chunk.constData(), chunk.size());
            if (n > 0) written_ += n;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    int master_;
    std::atomic<bool> stop_{false};
    std::atomic<long> written_{0};
    std::thread writer_;
};

struct Figures {
    double process = 0; // CPU seconds of the whole process
    double thread = 0;  // CPU seconds of the link's event thread
};

// Runs the event loop for the measuring time (hand-overs are taken as they come).
Figures Measure(int eventThread) {
    const double process = ProcessCpuSeconds();
    const double thread = eventThread >= 0 ? ThreadCpuSeconds(eventThread) : 0;
    Pump(kMeasureMs);
    return {ProcessCpuSeconds() - process,
            eventThread >= 0 ? ThreadCpuSeconds(eventThread) - thread : 0};
}

void Report(const std::string& name, const std::string& what, double seconds) {
    std::cout << "[ figures  ] " << name << ": " << what << " " << seconds << " s CPU over "
              << kMeasureMs << " ms" << std::endl;
    testing::Test::RecordProperty(name + "_" + what + "_cpu_us",
                                  std::to_string(long(seconds * 1e6)));
}

TEST(LinkLoad, UnreadFloodLeavesTheCpuIdle) {
    // Baseline: the same flood into a port that no link holds.
    Figures baseline;
    {
        TestPty idle;
        Flood flood(idle.Master());
        baseline = Measure(-1);
    }

    TestPty pty;
    ASSERT_FALSE(pty.Path().isEmpty());
    TComPort link; // no receive handler, as the panels link
    link.SetPort(pty.Path());
    WarmUpThreads();
    const std::set<int> threads = TaskIds();
    link.Open();
    const int eventThread = NewThread(threads);
    ASSERT_GE(eventThread, 0);

    Figures loaded;
    long written = 0;
    {
        Flood flood(pty.Master());
        loaded = Measure(eventThread);
        written = flood.Written();
    }
    Report("flood", "event_thread", loaded.thread);
    Report("flood", "process", loaded.process);
    Report("flood", "process_without_link", baseline.process);
    std::cout << "[ figures  ] flood: " << written << " bytes pushed" << std::endl;

    EXPECT_GT(written, 0);
    EXPECT_LT(loaded.thread, kCpuBoundSeconds);
    EXPECT_LT(loaded.process - baseline.process, kCpuBoundSeconds);
    EXPECT_TRUE(link.Connected());
    EXPECT_NO_THROW(link.Close());
}

TEST(LinkLoad, UnpluggedDeviceLeavesTheCpuIdle) {
    const Figures baseline = Measure(-1);

    TestPty pty;
    ASSERT_FALSE(pty.Path().isEmpty());
    TComPort link;
    int calls = 0;
    link.OnRxChar = [&] {
        ++calls;
        QByteArray part;
        link.ReadText(part, 80);
    };
    link.SetPort(pty.Path());
    WarmUpThreads();
    const std::set<int> threads = TaskIds();
    link.Open();
    const int eventThread = NewThread(threads);
    ASSERT_GE(eventThread, 0);
    pty.CloseMaster();

    const Figures unplugged = Measure(eventThread);
    Report("unplug", "event_thread", unplugged.thread);
    Report("unplug", "process", unplugged.process);
    Report("unplug", "process_without_link", baseline.process);
    std::cout << "[ figures  ] unplug: " << calls << " receive notifications" << std::endl;

    EXPECT_LT(unplugged.thread, kCpuBoundSeconds);
    EXPECT_LT(unplugged.process - baseline.process, kCpuBoundSeconds);
    EXPECT_TRUE(link.Connected());
    EXPECT_NO_THROW(link.Close());
    EXPECT_FALSE(link.Connected());
}

} // namespace
