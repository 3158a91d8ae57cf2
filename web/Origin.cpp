// SPDX-License-Identifier: GPL-3.0-or-later
#include "Origin.h"

#include "Convert.h"

namespace {

// A header's text in the memo stays short, whatever a client sends.
constexpr qsizetype kMaxShown = 200;

// host[:port] in lower case, with the default port when none is given.
QByteArray WithPort(QByteArray authority, const char* defaultPort) {
    authority = authority.toLower();
    const qsizetype bracket = authority.lastIndexOf(']'); // an IPv6 address in brackets
    const qsizetype colon = authority.lastIndexOf(':');
    if (colon < 0 || colon < bracket) authority += QByteArray(":") + defaultPort;
    return authority;
}

// The host and port a URL names; empty when it names none (a relative URL, "null").
QByteArray HostOf(const QByteArray& url) {
    const qsizetype scheme = url.indexOf("://");
    if (scheme <= 0) return {};
    QByteArray authority = url.mid(scheme + 3);
    for (const char c : {'/', '?', '#'}) {
        const qsizetype at = authority.indexOf(c);
        if (at >= 0) authority.truncate(at);
    }
    authority.remove(0, authority.lastIndexOf('@') + 1); // user information
    if (authority.isEmpty()) return {};
    const QByteArray name = url.left(scheme).toLower();
    return WithPort(authority, name == "https" ? "443" : "80");
}

} // namespace

QString OtherSite(const TRequest& request) {
    // A browser says so itself whatever the page's referrer policy hides.
    if (const std::optional<QByteArray> site = request.Header("Sec-Fetch-Site")) {
        const QByteArray value = site->toLower();
        if (value == "cross-site" || value == "same-site")
            return QStringLiteral("Sec-Fetch-Site %1 is another site's request")
                .arg(FromDevice(site->left(kMaxShown)));
    }
    const QByteArray host = WithPort(request.Header("Host").value_or(QByteArray()), "80");
    for (const char* name : {"Origin", "Referer"}) {
        const std::optional<QByteArray> url = request.Header(name);
        if (!url) continue;
        const QByteArray named = HostOf(*url);
        if (!named.isEmpty() && named == host && !host.startsWith(':')) continue;
        return QStringLiteral("%1 %2 is not host %3")
            .arg(QLatin1String(name), FromDevice(url->left(kMaxShown)),
                 FromDevice(request.Header("Host").value_or("(none)").left(kMaxShown)));
    }
    return {};
}
