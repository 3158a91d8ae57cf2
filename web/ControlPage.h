#pragma once
// The control page and the few answers the phone control server gives, as bytes: the page is
// sent with the true byte length of its body.
#include <QByteArray>

namespace page {

// The page's body: focuser 1's readings, the command forms and the message (HTML-escaped here).
QByteArray Body(int position, double temperature, const QByteArray& message);

// "HTTP/1.1 200 OK" with its five header lines, the empty line and the body.
QByteArray Ok(const QByteArray& body);

// A request line other than GET: status line alone, the connection stays open.
inline constexpr char kNotImplemented[] = "HTTP/1.1 501 Not Implemented\r\n\r\n";

// A command value that is not a whole number: no move, an empty answer, the connection goes on.
inline constexpr char kBadRequest[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";

} // namespace page
