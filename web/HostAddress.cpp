// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

namespace {

QString Dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return QString::fromLatin1(text);
}

bool IsLoopback(in_addr address) {
    return (ntohl(address.s_addr) >> 24) == 127;
}

// The first interface that is up, not loopback and has an IPv4 address.
bool FirstInterfaceAddress(in_addr& found) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool ok = false;
    for (const ifaddrs* entry = list; entry && !ok; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
        found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
        ok = true;
    }
    freeifaddrs(list);
    return ok;
}

} // namespace

QString GetLocalIPAddress() {
    const QString failed = QStringLiteral("No. IP Address");
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return failed;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &result) != 0 || !result) return failed;
    in_addr address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
    freeaddrinfo(result);
    // Debian maps the host name to 127.0.1.1, which no phone can reach.
    if (IsLoopback(address) && !FirstInterfaceAddress(address)) return QStringLiteral("127.0.0.1");
    return Dotted(address);
}
