// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The control page and the few answers the phone control server gives, as bytes: the page is
// sent with the true byte length of its body.
#include <QByteArray>

namespace page {

// The page's body: focuser 1's readings, the command forms and the message (HTML-escaped here).
QByteArray Body(int position, double temperature, const QByteArray& message);

// "HTTP/1.1 200 OK" with its five header lines, the empty line and the body.
QByteArray Ok(const QByteArray& body);

// The answers without a page; each says that it has no body, so that a browser keeping the
// connection alive does not wait for one. The connection goes on after each.
// A request line other than GET.
inline constexpr char kNotImplemented[] =
    "HTTP/1.1 501 Not Implemented\r\nContent-Length: 0\r\n\r\n";
// A command value that is not a whole number of steps from 0 to 65535: no move.
inline constexpr char kBadRequest[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
// A request sent by a page of another site (Sec-Fetch-Site, Origin or Referer say so), or under
// a Host that is not this computer's.
inline constexpr char kForbidden[] = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n";

} // namespace page
