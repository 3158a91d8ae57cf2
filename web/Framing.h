// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the bytes of one phone connection become requests. Pure: no sockets.
// - A line ends at CR LF, a lone CR or a lone LF; a CR LF torn between two reads is one end.
// - A line without its end waits for it across reads.
// - A request is its lines up to the first empty line; empty lines before a request are
//   dropped, at most kMaxBlankLines of them in a row.
// - A zero byte ends the text of its read: the rest of that read is dropped.
// - The body a request announces with Content-Length is skipped, never read as requests; a
//   body whose end cannot be told (Transfer-Encoding, an unreadable length) ends the connection.
#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct TRequest {
    QByteArray line;           // the request line
    QList<QByteArray> headers; // the header lines as they came
    // The value of the first header of that name (any case), blanks trimmed; nullopt without.
    std::optional<QByteArray> Header(const char* name) const;
};

// One step for the connection: a request to handle, or the end of the connection and why
// ("Request too long"); nothing follows an end.
struct TFramed {
    std::optional<TRequest> request;
    QString end;
};

class TFraming {
  public:
    // A request's lines, line ends counted, may not exceed this before their empty line.
    static constexpr qsizetype kMaxHead = 8 * 1024;
    static constexpr int kMaxBlankLines = 300;

    // Takes one read's bytes; returns the steps it completes, in order.
    QList<TFramed> Feed(const QByteArray& bytes);
    bool Ended() const { return ended_; }

  private:
    void EndLine(QList<TFramed>& steps);
    void EndRequest(QList<TFramed>& steps);
    void End(QList<TFramed>& steps, const QString& why);

    QList<QByteArray> lines_; // the request's lines so far
    QByteArray line_;         // the line without its end yet
    qsizetype headBytes_ = 0;
    qint64 skip_ = 0; // body bytes still to skip
    int blankLines_ = 0;
    bool afterCR_ = false; // an LF next is the rest of that line end
    bool ended_ = false;
};
