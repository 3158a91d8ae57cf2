// SPDX-License-Identifier: GPL-3.0-or-later
// What every simulated device shares: the line itself, the record of commands, and the faults
// it shows on request. Driven through a real serial link.
#include "SimFocuser.h"
#include "SimPanels.h"
#include "SimTestSupport.h"

#include "Failure.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

TFocuserOptions Steady() {
    TFocuserOptions o;
    o.driftPerSecond = 0;
    o.position = 1234;
    return o;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Whether the port is claimed exclusively, seen through a descriptor of our own (root may open
// it anyway).
int Exclusive(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    int flag = -1;
    ::ioctl(fd, TIOCGEXCL, &flag);
    ::close(fd);
    return flag;
}

} // namespace

TEST(SimDevice, PanelsUnitOnlyIdentifies) {
    TSimPanels panels;
    TSimLink port(panels.Port());
    EXPECT_EQ(port.Ask("SWHOIS", "\r"), kPanelsIdentification);
    port.Send("FMMODE");
    port.Send("SGETAL");
    port.Send("FPOSRO");
    EXPECT_EQ(port.ReadFor(200ms), "");
    EXPECT_EQ(panels.CommandCount(), 4u);
}

TEST(SimDevice, SilentDeviceRecordsButNeverAnswersNorEchoes) {
    TSimSilent silent;
    TSimLink port(silent.Port());
    port.Send("SWHOIS");
    port.Send("FMMODE");
    EXPECT_TRUE(silent.WaitForCommandCount(2, 1s));
    EXPECT_EQ(port.ReadFor(200ms), ""); // a raw line: not even the program's own bytes
    EXPECT_EQ(silent.Commands(), (std::vector<std::string>{"SWHOIS", "FMMODE"}));
    EXPECT_EQ(silent.Sent(), "");
}

TEST(SimDevice, RecordsEachCommandWithItsArrivalTime) {
    TSimPanels panels;
    TSimLink port(panels.Port());
    const auto before = std::chrono::steady_clock::now();
    port.Send("SWHOIS");
    ASSERT_TRUE(panels.WaitForCommand("SWHOIS", 1s));
    const auto after = std::chrono::steady_clock::now();
    port.Send("FPO"); // the rest never comes
    std::this_thread::sleep_for(TCommandFramer::kStaleAfter + 100ms);
    port.Send("SWHOIS");
    ASSERT_TRUE(panels.WaitForCommand("SWHOIS", 1s, 1));

    const auto received = panels.Received();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].text, "SWHOIS");
    EXPECT_GE(received[0].at, before);
    EXPECT_LE(received[0].at, after);
    EXPECT_EQ(received[1].text, "FPO");
    EXPECT_FALSE(received[1].complete);
    EXPECT_TRUE(received[2].complete);
    EXPECT_GE(received[2].at - received[0].at, TCommandFramer::kStaleAfter);
    EXPECT_FALSE(panels.WaitForCommand("FPOSRO", 50ms));

    panels.ClearReceived();
    EXPECT_EQ(panels.CommandCount(), 0u);
}

TEST(SimFaults, DelayHoldsEveryAnswerBack) {
    TSimFocuser focuser(Steady());
    focuser.SetFaults({.delay = 400ms});
    TSimLink port(focuser.Port());
    const auto start = std::chrono::steady_clock::now();
    port.Send("FPOSRO");
    EXPECT_EQ(port.ReadFor(200ms), "");
    EXPECT_EQ(port.ReadUntilEnd("\n", 3s), "P=01234\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
}

TEST(SimFaults, ChunksArriveSeparatedByTheirGap) {
    TSimFocuser focuser(Steady());
    focuser.SetFaults({.chunkSize = 3, .chunkGap = 150ms});
    TSimLink port(focuser.Port());
    port.Send("FPOSRO");
    std::vector<QByteArray> reads;
    QByteArray all = port.ReadUntil(
        [&](const QByteArray& text) {
            if (!text.isEmpty() && (reads.empty() || text.size() > reads.back().size()))
                reads.push_back(text);
            return text.endsWith('\n');
        },
        3s);
    EXPECT_EQ(all, "P=01234\n");
    // Each piece was the whole of what a read found at its time.
    EXPECT_EQ(reads, (std::vector<QByteArray>{"P=0", "P=0123", "P=01234\n"}));
}

TEST(SimFaults, GarbageReplacesAnswersWithoutMarkers) {
    TSimFocuser focuser(Steady());
    focuser.SetFaults({.garbage = true});
    TSimLink port(focuser.Port());
    port.Send("FPOSRO");
    ASSERT_TRUE(focuser.WaitForCommand("FPOSRO", 1s));
    const QByteArray noise = port.ReadUntil([](const QByteArray& t) { return t.size() >= 8; }, 2s);
    EXPECT_EQ(noise.size(), 8);
    for (const char marker : {'\r', '\n', '*', '#', '/', '!', 'P', '=', '0'})
        EXPECT_FALSE(noise.contains(marker)) << int(marker);
    EXPECT_EQ(port.ReadFor(100ms), "");
}

TEST(SimFaults, NoLineEndLeavesTheLineOpen) {
    TSimFocuser focuser(Steady());
    focuser.SetFaults({.noLineEnd = true});
    TSimLink port(focuser.Port());
    port.Send("FPOSRO");
    port.Send("SWHOIS");
    const QByteArray text =
        port.ReadUntil([](const QByteArray& t) { return t.endsWith("1321"); }, 2s);
    EXPECT_EQ(text.toStdString(), "P=01234" + FocuserIdentification(1321).substr(0, 15));
    EXPECT_EQ(port.ReadFor(100ms), "");
}

TEST(SimFaults, SilentAnswersNothingUntilItSpeaksAgain) {
    TSimFocuser focuser(Steady());
    focuser.SetFaults({.silent = true});
    TSimLink port(focuser.Port());
    port.Send("FPOSRO");
    ASSERT_TRUE(focuser.WaitForCommand("FPOSRO", 1s));
    EXPECT_EQ(port.ReadFor(200ms), "");
    focuser.SetFaults({});
    EXPECT_EQ(port.Ask("FPOSRO", "\n"), "P=01234\n");
}

TEST(SimFaults, RawBytesGoOutExactly) {
    TSimPanels panels;
    TSimLink port(panels.Port());
    const std::string bytes("P=12\r\0\xff*", 8);
    panels.SendRaw(bytes);
    EXPECT_EQ(port.ReadUntil([](const QByteArray& t) { return t.size() >= 8; }, 2s).toStdString(),
              bytes);
    EXPECT_EQ(panels.Sent(), bytes);
}

TEST(SimFaults, UnplugHangsUpTheLinkAndRemovesThePort) {
    TSimFocuser focuser(Steady());
    const std::string path = focuser.Port();
    TSimLink port(path);
    EXPECT_EQ(port.Ask("FPOSRO", "\n"), "P=01234\n");

    focuser.Unplug();
    EXPECT_FALSE(focuser.Plugged());
    EXPECT_FALSE(PathExists(path));
    try {
        port.Send("FPOSRO");
        ADD_FAILURE() << "write on an unplugged line succeeded";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Message(), "WriteFile function failed (Error: 5)");
    }
    port.link.Close();
    TComPort again;
    again.SetPort(QString::fromStdString(path));
    EXPECT_THROW(again.Open(), Failure);
    focuser.Unplug(); // twice is harmless
}

TEST(SimDevice, ProgramGoneLeavesNeitherItsClaimNorItsUnreadInput) {
    // A pseudo-terminal keeps a closed program's exclusive claim while its master lives, and
    // a normal user's next open would fail; a killed program leaves its unread input too. The
    // device lifts both once nobody holds the port, as a real port forgets them.
    TSimPanels panels;
    const int killed = ::open(panels.Port().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(killed, 0);
    ASSERT_EQ(::ioctl(killed, TIOCEXCL), 0);
    ASSERT_EQ(::write(killed, "SWHOIS", 6), 6);
    ASSERT_TRUE(panels.WaitForCommand("SWHOIS", 1s));
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (panels.Sent().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(Exclusive(panels.Port()), 1);
    ::close(killed); // no flush, as at a crash

    while (Exclusive(panels.Port()) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(Exclusive(panels.Port()), 0);
    TSimLink next(panels.Port());
    EXPECT_EQ(next.ReadFor(100ms), "");
    EXPECT_EQ(next.Ask("SWHOIS", "\r"), kPanelsIdentification);
}
