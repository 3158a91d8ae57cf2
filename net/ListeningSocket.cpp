// SPDX-License-Identifier: GPL-3.0-or-later
#include "ListeningSocket.h"

#include "Failure.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* call, int fd) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw Failure(QStringLiteral("Erreur socket : %1 (%2), avec l'API '%3'")
                      .arg(QString::fromLocal8Bit(std::strerror(error)), QString::number(error),
                           QLatin1String(call)));
}

} // namespace

int OpenListeningSocket(quint32 address, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail("socket", -1);
    // A restart right after Stop must not wait for the old connections' TIME_WAIT; a port that
    // another program listens on is still refused.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in place{};
    place.sin_family = AF_INET;
    place.sin_port = htons(port);
    place.sin_addr.s_addr = htonl(address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&place), sizeof place) != 0) Fail("bind", fd);
    if (::listen(fd, 64) != 0) Fail("listen", fd);
    return fd;
}
