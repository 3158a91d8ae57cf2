// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComPort.h"

#include "ErrorReport.h"
#include "Failure.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <system_error>

namespace {

Failure LinkError(const char* text, int code) {
    return Failure(QStringLiteral("%1 (Error: %2)").arg(QLatin1String(text)).arg(code), code);
}

Failure NotOpen() {
    return Failure(QStringLiteral("Port Not Open"));
}

// A request the device kind does not support (a pseudo-terminal has no modem lines) is no error.
bool Unsupported(int code) {
    return code == EINVAL || code == ENOTTY || code == EIO;
}

// While unread bytes wait or the device is gone, the event thread looks again this often.
constexpr int kIdleRecheckMs = 50;
constexpr int kHangupBackoffMs = 250;

// A pseudo-terminal keeps its exclusive flag past our close while its other end lives (a real
// port forgets it at the last close): give it up first, or a normal user could not open the
// port again right after discovery probed it.
void CloseExclusive(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

} // namespace

TComPort::TComPort(QObject* parent) : QObject(parent) {}

TComPort::~TComPort() {
    try {
        // Exit closes the port and sends nothing; nothing may run afterwards.
        OnAfterClose = nullptr;
        Close();
    } catch (...) {
        StopEvents();
        if (fd_ >= 0) CloseExclusive(fd_);
        fd_ = -1;
    }
}

void TComPort::SetPort(const QString& name) {
    if (name == port_) return;
    const bool wasOpen = Connected();
    if (wasOpen) Close();
    port_ = name;
    if (wasOpen) Open();
}

void TComPort::Open() {
    if (Connected()) return;
    const QByteArray path = port_.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw LinkError("Unable to open com port", errno);
    // Exclusive use: TIOCEXCL refuses other opens (not root's); the lock refuses a second link.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        throw LinkError("Unable to open com port", code);
    }
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
    try {
        ApplySettings();
        StartEvents();
    } catch (...) {
        CloseExclusive(fd_);
        fd_ = -1;
        throw;
    }
    if (OnAfterOpen) OnAfterOpen();
}

void TComPort::ApplySettings() {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) throw LinkError("SetCommState function failed", errno);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = 17;
    tio.c_cc[VSTOP] = 19;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
        throw LinkError("SetCommState function failed", errno);
    // DTR and RTS held inactive.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIC, &lines) != 0 && !Unsupported(errno))
        throw LinkError("SetCommState function failed", errno);
}

void TComPort::Close() {
    if (!Connected()) return;
    // Unread input is dropped; a failing purge leaves the link open and raises. Output already
    // handed to the driver is let out: the command written just before a close (a focuser's
    // "FMMODE") must reach the device, and without flow control it drains in milliseconds.
    if (::tcflush(fd_, TCIFLUSH) != 0 && !Unsupported(errno))
        throw LinkError("PurgeComm function failed", errno);
    StopEvents();
    ::tcflush(fd_, TCIFLUSH);
    CloseExclusive(fd_);
    fd_ = -1;
    if (OnAfterClose) OnAfterClose();
}

void TComPort::Abandon() {
    if (!Connected()) return;
    StopEvents();
    CloseExclusive(fd_);
    fd_ = -1;
    if (OnAfterClose) OnAfterClose();
}

int TComPort::WriteText(const QByteArray& text) {
    if (!Connected()) throw NotOpen();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(100 * text.size() + 1000);
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd_, text.constData() + written, text.size() - written);
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) throw LinkError("WriteFile function failed", errno);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break; // write timeout: report what went out
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            throw LinkError("WriteFile function failed", errno);
        if (p.revents & (POLLERR | POLLHUP)) throw LinkError("WriteFile function failed", EIO);
    }
    return static_cast<int>(written);
}

int TComPort::ReadText(QByteArray& text, int count) {
    text.clear();
    if (!Connected()) throw NotOpen();
    if (count <= 0) return 0;
    text.resize(count);
    ssize_t n;
    do {
        n = ::read(fd_, text.data(), count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int code = errno;
        text.clear();
        if (code == EAGAIN) return 0;
        throw LinkError("ReadFile function failed", code);
    }
    text.resize(n);
    taken_ += static_cast<unsigned long long>(n);
    return static_cast<int>(n);
}

void TComPort::PurgeBuffers(bool input, bool output) {
    if (!Connected()) throw NotOpen();
    const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : output ? TCOFLUSH : -1;
    int discarded = 0; // counted before the flush and added after it, never too many
    if (input && ::ioctl(fd_, FIONREAD, &discarded) != 0) discarded = 0;
    if (queue >= 0 && ::tcflush(fd_, queue) != 0 && !Unsupported(errno))
        throw LinkError("PurgeComm function failed", errno);
    taken_ += static_cast<unsigned>(discarded);
}

bool TComPort::HungUp() const {
    if (!Connected()) return false;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

int TComPort::Pending() const {
    int waiting = 0;
    if (!Connected() || ::ioctl(fd_, FIONREAD, &waiting) != 0) return 0;
    return waiting;
}

void TComPort::StartEvents() {
    // Without its event thread a link would look open and never notify: such an open fails.
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw LinkError("Unable to open com port", errno);
    stopping_ = false;
    taken_ = 0;
    handover_.Reset();
    try {
        events_ = std::thread([this] { EventLoop(); });
    } catch (const std::system_error& e) {
        ::close(wakeFd_);
        wakeFd_ = -1;
        throw LinkError("Unable to open com port", e.code().value());
    }
}

void TComPort::StopEvents() {
    if (!events_.joinable()) return;
    stopping_ = true;
    handover_.Cancel();
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    events_.join();
    ::close(wakeFd_);
    wakeFd_ = -1;
}

void TComPort::Notify() {
    // GUI thread. A link closed meanwhile has cancelled the hand-over; nothing runs then.
    if (Connected() && OnRxChar) Guarded(OnRxChar);
}

void TComPort::NotifyLost() {
    if (Connected() && OnLineLost) Guarded(OnLineLost);
}

void TComPort::EventLoop() {
    // Only waits and hands over: the port's fd is read here just for its pending count.
    // Bytes arrived so far = bytes taken by reads and purges + bytes waiting. A notification is
    // due when that grows: bytes a handler leaves unread are not told twice, and bytes that
    // come while a handler runs (after its read) are told after it.
    unsigned long long notified = 0; // arrivals counted when the last notification went out
    int pause = 0; // >0: do not wait on the port for this many ms (unread bytes, hang-up)
    bool lostTold = false;
    while (!stopping_) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const bool paused = pause > 0;
        const int n = ::poll(fds, paused ? 1 : 2, paused ? pause : -1);
        if (stopping_) break;
        pause = 0;
        if (n < 0) {
            if (errno != EINTR) pause = kHangupBackoffMs;
            continue;
        }
        // After a pause the port was not waited on: its state is looked at now, so that a
        // hang-up is seen whatever input still waits unread.
        if (paused) {
            pollfd now{fd_, POLLIN, 0};
            fds[1].revents = ::poll(&now, 1, 0) > 0 ? now.revents : 0;
        }
        const bool gone = fds[1].revents & (POLLHUP | POLLERR | POLLNVAL);
        int waiting = 0;
        // Taken before the count: a read in between makes the sum too small, never too large.
        const unsigned long long taken = taken_;
        if (gone || ::ioctl(fd_, FIONREAD, &waiting) != 0) {
            // Device gone (a count that fails is a hung-up line too): poll would report this at
            // once for ever; tell it once, then back off.
            if (!lostTold) {
                lostTold = true;
                if (!handover_.Run([this] { NotifyLost(); })) break;
            }
            pause = kHangupBackoffMs;
            continue;
        }
        // Nothing to tell: wait on the port again.
        if (!(fds[1].revents & POLLIN) && waiting == 0) continue;
        const unsigned long long arrived = taken + static_cast<unsigned>(waiting);
        if (arrived > notified) {
            notified = arrived;
            if (!handover_.Run([this] { Notify(); })) break;
            continue; // look at once for bytes that came while the handler ran
        }
        notified = arrived; // a purge that raced with arrivals counted short: go on from here
        // Bytes left unread (or readable with nothing to read): look again a little later,
        // since poll would report them at once for ever.
        pause = kIdleRecheckMs;
    }
}
