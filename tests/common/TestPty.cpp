// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestPty.h"

#include <sys/ioctl.h>

#include <QDeadlineTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

TestPty::TestPty() {
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, name, &raw, nullptr) == 0) {
        path_ = QString::fromLocal8Bit(name);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
}

TestPty::~TestPty() {
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
}

void TestPty::Write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

QByteArray TestPty::Read(int min, int ms) {
    QByteArray got;
    QDeadlineTimer deadline(ms);
    while (got.size() < min && !deadline.hasExpired()) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) got.append(buf, n);
        }
    }
    return got;
}

void TestPty::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

int TestPty::WaitingAtPort() const {
    int waiting = 0;
    if (::ioctl(slave_, FIONREAD, &waiting) != 0) return -1;
    return waiting;
}
