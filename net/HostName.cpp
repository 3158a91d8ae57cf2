// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostName.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

namespace net {

namespace {

// A header's text in a log line stays short, whatever a client sends.
constexpr qsizetype kMaxShown = 200;

bool IsPort(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 5) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsIPv4(const QByteArray& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.constData(), &address) == 1;
}

bool IsIPv6(QByteArray text) {
    const qsizetype zone = text.indexOf('%'); // fe80::1%eth0
    if (zone >= 0) text.truncate(zone);
    in6_addr address{};
    return inet_pton(AF_INET6, text.constData(), &address) == 1;
}

bool IsThisComputer(const QByteArray& name) {
    if (name == "localhost") return true;
    char own[256] = {};
    if (gethostname(own, sizeof own - 1) != 0) return false;
    const QByteArray full = QByteArray(own).toLower();
    const QByteArray shortName = full.left(full.indexOf('.') < 0 ? full.size() : full.indexOf('.'));
    return !full.isEmpty() && (name == full || name == shortName || name == shortName + ".local");
}

bool NamesThisComputer(QByteArray host) {
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        if (close < 0) return false;
        const QByteArray rest = host.mid(close + 1);
        return IsIPv6(host.mid(1, close - 1)) &&
               (rest.isEmpty() || (rest.startsWith(':') && IsPort(rest.mid(1))));
    }
    if (host.count(':') > 1) return IsIPv6(host);
    if (const qsizetype colon = host.indexOf(':'); colon >= 0) {
        if (!IsPort(host.mid(colon + 1))) return false;
        host.truncate(colon);
    }
    if (host.endsWith('.')) host.chop(1);
    return IsIPv4(host) || IsThisComputer(host.toLower());
}

} // namespace

QString ForeignHost(const QByteArray& host) {
    if (host.isEmpty() || NamesThisComputer(host)) return {};
    return QStringLiteral("Host %1 is not this computer")
        .arg(QString::fromLatin1(host.left(kMaxShown)));
}

} // namespace net
