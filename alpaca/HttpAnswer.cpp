// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpAnswer.h"

THttpAnswer THttpAnswer::Text(int status, const QByteArray& text) {
    THttpAnswer answer;
    answer.status = status;
    answer.contentType = "text/plain; charset=utf-8";
    answer.body = text;
    return answer;
}

THttpAnswer THttpAnswer::Html(int status, const QByteArray& html) {
    THttpAnswer answer;
    answer.status = status;
    answer.contentType = "text/html; charset=utf-8";
    answer.body = html;
    return answer;
}

QByteArray THttpAnswer::Bytes() const {
    QByteArray bytes;
    bytes.reserve(160 + body.size());
    bytes += "HTTP/1.1 " + QByteArray::number(status) + ' ' + StatusText(status) + "\r\n";
    bytes += "Server: Skyvarn\r\n";
    bytes += "Content-Type: " + contentType + "\r\n";
    bytes += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    bytes += extraFields;
    bytes += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    if (!headOnly) bytes += body;
    return bytes;
}

QByteArray StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}
