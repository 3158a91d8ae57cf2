// SPDX-License-Identifier: GPL-3.0-or-later
#include "Pty.h"

#include "Failure.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what) {
    throw Failure(QStringLiteral("%1 (Error: %2)").arg(QLatin1String(what)).arg(errno));
}

void CloseOnExec(int fd) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

} // namespace

TPty::TPty() {
    Open();
}

void TPty::Open() {
    char name[PATH_MAX] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        Fail("Unable to create pseudo-terminal");
    path_ = name;
    CloseOnExec(master_);
    CloseOnExec(slave_);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    // Raw from the start: an echo would send the program's commands straight back to it.
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) {
        const int code = errno;
        Close();
        errno = code;
        Fail("Unable to set pseudo-terminal raw");
    }

    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, path_.c_str(), IN_CLOSE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
}

TPty::~TPty() {
    Close();
}

void TPty::HandleWatch() {
    if (watch_ < 0) return;
    alignas(inotify_event) char buffer[4096];
    bool closed = false;
    while (::read(watch_, buffer, sizeof buffer) > 0)
        closed = true;
    // Closes are not counted against opens: inotify merges like events that wait unread.
    if (!closed || slave_ < 0 || HeldElsewhere()) return;
    ::ioctl(slave_, TIOCNXCL);
    // Nor does a real port keep what arrived for a program that has gone.
    ::tcflush(slave_, TCIFLUSH);
}

bool TPty::HeldElsewhere() const {
    struct stat port {};
    if (::fstat(slave_, &port) != 0) return true;
    const std::string self = std::to_string(::getpid());
    DIR* processes = ::opendir("/proc");
    if (!processes) return true;
    bool held = false;
    while (const dirent* process = ::readdir(processes)) {
        if (held) break;
        if (process->d_name[0] < '0' || process->d_name[0] > '9') continue;
        const std::string folder = std::string("/proc/") + process->d_name + "/fd";
        DIR* fds = ::opendir(folder.c_str()); // other users' processes: not readable, skipped
        if (!fds) continue;
        while (const dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') continue;
            if (process->d_name == self && std::to_string(slave_) == fd->d_name) continue;
            struct stat st {};
            if (::stat((folder + "/" + fd->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == port.st_rdev) {
                held = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(processes);
    return held;
}

void TPty::Close() {
    if (watch_ >= 0) ::close(watch_);
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    watch_ = master_ = slave_ = -1;
}
