// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One HTTP/1.1 answer as it leaves for the client: status line, the fields every answer has,
// and the body. No sockets here.
#include <QByteArray>

struct THttpAnswer {
    int status = 200;
    QByteArray contentType = "application/json; charset=utf-8";
    QByteArray body;
    bool close = false;     // "Connection: close", and the connection ends once it is sent
    QByteArray extraFields; // whole lines with their CR LF ("Allow: GET, PUT\r\n")
    bool headOnly = false;  // the answer to a HEAD: every field as for a GET, no body

    // A plain-text answer: the reason of a refusal.
    static THttpAnswer Text(int status, const QByteArray& text);
    static THttpAnswer Html(int status, const QByteArray& html);

    QByteArray Bytes() const;
};

// "OK", "Bad Request" ... for the statuses this server sends.
QByteArray StatusText(int status);
