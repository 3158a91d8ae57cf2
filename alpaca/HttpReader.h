// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The requests of one HTTP/1.1 connection, read incrementally from the bytes as they arrive:
// request line, header fields, a Content-Length body. Every part has a bound, so that a client
// cannot make the reader hold more than a few tens of kilobytes. No sockets here.
#include <QByteArray>
#include <QList>
#include <utility>

struct THttpRequest {
    QByteArray method;  // "GET", "PUT" (case kept: methods are case-sensitive)
    QByteArray path;    // the target before '?', not decoded
    QByteArray query;   // the target after '?', not decoded; empty without one
    QByteArray version; // "HTTP/1.1" or "HTTP/1.0"
    // Field names in lower case, values without surrounding blanks, in the order sent.
    QList<std::pair<QByteArray, QByteArray>> fields;
    QByteArray body;
    bool keepAlive = true; // the connection stays open after the answer

    // The first field of that name (lower case), empty when there is none.
    QByteArray Field(const QByteArray& lowerName) const;
};

class THttpReader {
  public:
    static constexpr qsizetype kMaxLine = 8 * 1024;  // the request line, or one field line
    static constexpr qsizetype kMaxHead = 16 * 1024; // request line and fields together
    static constexpr int kMaxFields = 64;
    static constexpr qsizetype kMaxBody = 64 * 1024;

    enum class Result { NeedMore, Request, Refused };

    // Appends the bytes of one read.
    void Feed(const QByteArray& bytes);
    // Takes the next whole request out of what was fed. After Refused the reader stays refused:
    // the connection is answered with Status() and Reason() and closed.
    Result Next(THttpRequest& request);

    int Status() const { return status_; }               // 400, 413, 414, 431, 501 or 505
    const QByteArray& Reason() const { return reason_; } // plain text for the answer's body
    qsizetype Buffered() const { return buffer_.size(); }

  private:
    Result Refuse(int status, const char* reason);
    Result ParseHead(qsizetype headEnd, qsizetype bodyStart, THttpRequest& request);

    QByteArray buffer_;
    int status_ = 0;
    QByteArray reason_;
};
