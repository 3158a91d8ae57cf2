// SPDX-License-Identifier: GPL-3.0-or-later
// The serial link against real pseudo-terminals: what goes on the line, what is read, opening,
// renaming, exclusive use and the error texts with their errno codes.
#include "ComPort.h"
#include "LinkTestSupport.h"
#include "QtTestSupport.h"
#include "TestPty.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray AllByteValues() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

using ComPortLine = LinkOnPty;

TEST_F(ComPortLine, WriteTextPutsExactlyTheCommandOnTheLine) {
    OpenLink();
    EXPECT_EQ(link.WriteText("FPOSRO"), 6);
    EXPECT_EQ(pty.Read(6), QByteArray("FPOSRO"));
    EXPECT_TRUE(pty.Read(1, 300).isEmpty()) << "nothing may follow the command";
}

TEST_F(ComPortLine, ReadTextTakesWhatHasArrivedUpToTheCount) {
    OpenLink();
    QByteArray hundred;
    for (int i = 0; i < 100; ++i)
        hundred.append(char('A' + i % 26));
    pty.Write(hundred);
    ASSERT_TRUE(WaitFor([&] { return Waiting(linkFd) == 100; }, 2000));

    QByteArray text = "previous";
    EXPECT_EQ(link.ReadText(text, 80), 80);
    EXPECT_EQ(text, hundred.left(80));
    EXPECT_EQ(Waiting(linkFd), 20);
    EXPECT_EQ(link.ReadText(text, 80), 20);
    EXPECT_EQ(text, hundred.mid(80));

    text = "previous";
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(link.ReadText(text, 80), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_LT(clock.elapsed(), 500) << "a read with nothing waiting returns at once";
}

TEST_F(ComPortLine, AppliesRawLineSettingsOverACookedPort) {
    // Start from a cooked terminal so that every setting must come from the link.
    termios cooked{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &cooked), 0);
    cooked.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP | INPCK;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_cflag |= HUPCL | PARENB | CSTOPB;
    cooked.c_cc[VMIN] = 1;
    ::cfsetspeed(&cooked, B9600);
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &cooked), 0);

    OpenLink();
    termios tio{};
    ASSERT_EQ(::tcgetattr(linkFd, &tio), 0);
    EXPECT_EQ(::cfgetispeed(&tio), speed_t(B19200));
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B19200));
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP | INPCK), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(ComPortLine, EveryByteValuePassesUnchangedBothWays) {
    OpenLink();
    const QByteArray all = AllByteValues();
    EXPECT_EQ(link.WriteText(all), 256);
    EXPECT_EQ(pty.Read(256), all);

    pty.Write(all);
    QByteArray received;
    WaitFor(
        [&] {
            QByteArray part;
            link.ReadText(part, 80);
            received += part;
            return received.size() >= 256;
        },
        2000);
    EXPECT_EQ(received, all);
    EXPECT_TRUE(pty.Read(1, 200).isEmpty()) << "the link echoed what it received";
}

TEST_F(ComPortLine, OpenAndCloseRunTheirNotificationsOnce) {
    QStringList events;
    link.OnAfterOpen = [&] { events << (link.Connected() ? "open" : "open while closed"); };
    link.OnAfterClose = [&] { events << (link.Connected() ? "close while open" : "close"); };
    link.Close();
    EXPECT_TRUE(events.isEmpty()) << "closing a closed link changes nothing";

    link.Open();
    link.Open();
    EXPECT_TRUE(link.Connected());
    link.Close();
    link.Close();
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(events, (QStringList{"open", "close"}));
}

TEST_F(ComPortLine, RenamingAnOpenLinkMovesItToTheNewPort) {
    TestPty next;
    QStringList events;
    link.OnAfterOpen = [&] { events << "open " + link.Port(); };
    link.OnAfterClose = [&] { events << "close " + link.Port(); };
    link.Open();
    events.clear();

    link.SetPort(next.Path());
    EXPECT_EQ(events, (QStringList{"close " + pty.Path(), "open " + next.Path()}));
    ASSERT_TRUE(link.Connected());
    link.WriteText("SWHOIS");
    EXPECT_EQ(next.Read(6), QByteArray("SWHOIS"));
    EXPECT_TRUE(pty.Read(1, 200).isEmpty());
    TComPort other;
    other.SetPort(pty.Path());
    EXPECT_NO_THROW(other.Open()) << "the old port is still held";

    events.clear();
    link.SetPort(next.Path());
    EXPECT_TRUE(events.isEmpty()) << "the same name changes nothing";
}

TEST_F(ComPortLine, RenamingAClosedLinkOnlyStoresTheName) {
    TestPty next;
    int opens = 0;
    link.OnAfterOpen = [&] { ++opens; };
    link.SetPort(next.Path());
    EXPECT_EQ(link.Port(), next.Path());
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(opens, 0);
}

TEST_F(ComPortLine, RenamingToAMissingPortLeavesTheLinkClosed) {
    link.Open();
    EXPECT_EQ(FailureOf([&] { link.SetPort("/dev/skyvarn-no-such-port"); }),
              "Unable to open com port (Error: 2)");
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.Port(), "/dev/skyvarn-no-such-port");
}

TEST_F(ComPortLine, ASecondLinkCannotOpenAHeldPort) {
    link.Open();
    TComPort second;
    second.SetPort(pty.Path());
    const int fds = OpenFdCount();
    EXPECT_EQ(FailureOf([&] { second.Open(); }), "Unable to open com port (Error: 16)");
    EXPECT_FALSE(second.Connected());
    EXPECT_EQ(OpenFdCount(), fds) << "the refused open leaked its descriptor";

    EXPECT_EQ(link.WriteText("FPOSRO"), 6) << "the holder is disturbed";
    EXPECT_EQ(pty.Read(6), QByteArray("FPOSRO"));
    link.Close();
    EXPECT_NO_THROW(second.Open());
}

TEST_F(ComPortLine, ClosingGivesUpTheExclusiveClaimForOtherUsers) {
    // Root passes TIOCEXCL, so read the flag itself: a pseudo-terminal would keep it after the
    // link's close while the far end lives, and a normal user's next open would fail.
    auto exclusive = [&] {
        const int fd = ::open(pty.Path().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        int flag = -1;
        ::ioctl(fd, TIOCGEXCL, &flag);
        ::close(fd);
        return flag;
    };
    link.Open();
    EXPECT_EQ(exclusive(), 1);
    link.Close();
    EXPECT_EQ(exclusive(), 0);
}

TEST_F(ComPortLine, DestroyingAnOpenLinkFreesThePortAndSendsNothing) {
    WarmUpThreads();
    const int fds = OpenFdCount();
    const int threads = ThreadCount();
    auto doomed = std::make_unique<TComPort>();
    bool closeRan = false;
    doomed->OnAfterClose = [&] { closeRan = true; };
    doomed->SetPort(pty.Path());
    doomed->Open();
    doomed.reset();

    EXPECT_FALSE(closeRan) << "the owner may already be half destroyed";
    EXPECT_EQ(OpenFdCount(), fds);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_TRUE(pty.Read(1, 200).isEmpty());
    EXPECT_NO_THROW(link.Open());
}

TEST_F(ComPortLine, RepeatedOpenAndCloseLeaveNoDescriptorOrThread) {
    WarmUpThreads();
    const int fds = OpenFdCount();
    const int threads = ThreadCount();
    for (int i = 0; i < 50; ++i) {
        link.Open();
        link.Close();
    }
    EXPECT_EQ(OpenFdCount(), fds);
    EXPECT_EQ(ThreadCount(), threads);
}

TEST(ComPortErrors, ClosedLinkRefusesEveryOperation) {
    TComPort link;
    QByteArray text = "previous";
    EXPECT_EQ(FailureOf([&] { link.WriteText("FPOSRO"); }), "Port Not Open");
    EXPECT_EQ(FailureOf([&] { link.ReadText(text, 80); }), "Port Not Open");
    EXPECT_EQ(FailureOf([&] { link.PurgeBuffers(true, true); }), "Port Not Open");
}

TEST(ComPortErrors, MissingPortCarriesItsErrno) {
    TComPort link;
    bool opened = false;
    link.OnAfterOpen = [&] { opened = true; };
    link.SetPort("/dev/skyvarn-no-such-port");
    EXPECT_EQ(FailureOf([&] { link.Open(); }), "Unable to open com port (Error: 2)");
    EXPECT_FALSE(link.Connected());
    EXPECT_FALSE(opened);
}

TEST(ComPortErrors, SettingsRefusedByANonTerminalCloseTheHandle) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    TComPort link;
    bool opened = false;
    link.OnAfterOpen = [&] { opened = true; };
    link.SetPort(file.fileName());
    const int fds = OpenFdCount();
    EXPECT_EQ(FailureOf([&] { link.Open(); }), "SetCommState function failed (Error: 25)");
    EXPECT_FALSE(link.Connected());
    EXPECT_FALSE(opened);
    EXPECT_EQ(OpenFdCount(), fds);
}

// A link whose event thread cannot start would look open and never notify: the open fails,
// both descriptors are given back and the link stays closed (and closes again at once).
TEST_F(ComPortLine, OpenFailsWhenItsEventThreadCannotStart) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' runtime reports through descriptors of its own, which this test takes.
    GTEST_SKIP() << "not under AddressSanitizer: it needs free descriptors";
#endif
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // Leave exactly one descriptor free: the port takes it, the wake descriptor finds none.
    std::vector<int> filler;
    rlimit tight = saved;
    tight.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 4096);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        filler.push_back(fd);
    ASSERT_FALSE(filler.empty());
    ::close(filler.back());
    filler.pop_back();
    bool opened = false;
    link.OnAfterOpen = [&] { opened = true; };
    const std::set<int> before = FdsOn(pty.Path());
    const QString failure = FailureOf([&] { link.Open(); });
    const int freeAfter = ::open("/dev/null", O_RDONLY | O_CLOEXEC); // the port's, given back
    for (int fd : filler)
        ::close(fd);
    if (freeAfter >= 0) ::close(freeAfter);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(failure, "Unable to open com port (Error: 24)");
    EXPECT_GE(freeAfter, 0);
    EXPECT_FALSE(link.Connected());
    EXPECT_FALSE(opened);
    EXPECT_EQ(FdsOn(pty.Path()), before);
    link.Close(); // nothing to undo, nothing blocks
    OpenLink();   // and with descriptors to spare it opens as usual
    EXPECT_TRUE(link.Connected());
}

TEST_F(ComPortLine, UnpluggedDeviceFailsWritesWithTheirErrno) {
    bool closed = false;
    link.OnAfterClose = [&] { closed = true; };
    OpenLink();
    pty.CloseMaster();
    EXPECT_TRUE(link.Connected()) << "an unplugged device is not detected";
    EXPECT_EQ(FailureOf([&] { link.WriteText("FPOSRO"); }), "WriteFile function failed (Error: 5)");
    QByteArray text;
    EXPECT_EQ(FailureOf([&] { link.ReadText(text, 80); }), "");
    EXPECT_TRUE(text.isEmpty());
    EXPECT_NO_THROW(link.Close());
    EXPECT_TRUE(closed);
    EXPECT_FALSE(link.Connected());
}

TEST_F(ComPortLine, FailingReadCarriesItsErrno) {
    OpenLink();
    // Put a descriptor that cannot be read in place of the port, then put the port back.
    const int saved = ::dup(linkFd);
    const int writeOnly = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writeOnly, 0);
    ::dup2(writeOnly, linkFd);
    ::close(writeOnly);
    QByteArray text;
    EXPECT_EQ(FailureOf([&] { link.ReadText(text, 80); }), "ReadFile function failed (Error: 9)");
    EXPECT_TRUE(text.isEmpty());
    ::dup2(saved, linkFd);
    ::close(saved);
    EXPECT_EQ(link.WriteText("FPOSRO"), 6);
    EXPECT_EQ(pty.Read(6), QByteArray("FPOSRO"));
}

TEST_F(ComPortLine, FailingPurgeKeepsTheLinkOpen) {
    int closes = 0;
    link.OnAfterClose = [&] { ++closes; };
    OpenLink();
    const int saved = ::dup(linkFd);
    ::close(linkFd);
    EXPECT_EQ(FailureOf([&] { link.PurgeBuffers(true, false); }),
              "PurgeComm function failed (Error: 9)");
    EXPECT_EQ(FailureOf([&] { link.Close(); }), "PurgeComm function failed (Error: 9)");
    ::dup2(saved, linkFd);
    ::close(saved);
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(closes, 0);

    EXPECT_NO_THROW(link.Close());
    EXPECT_EQ(closes, 1);
}

TEST_F(ComPortLine, PurgeDiscardsWhatWaits) {
    OpenLink();
    pty.Write("stale reply");
    ASSERT_TRUE(WaitFor([&] { return Waiting(linkFd) == 11; }, 2000));
    link.PurgeBuffers(true, true);
    EXPECT_EQ(Waiting(linkFd), 0);
    QByteArray text;
    EXPECT_EQ(link.ReadText(text, 80), 0);
}

} // namespace
