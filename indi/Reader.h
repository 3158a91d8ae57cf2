// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The incremental reader of one client's INDI stream: a sequence of top-level elements with no
// root element. Bytes go in as they arrive; whole commands come out. Everything it keeps is
// bounded: an element that grows past its bound, nests too deep or carries too many attributes
// or members breaks the stream, as malformed XML does, and the client is then cut off. So does
// text outside elements (whitespace aside) and a stream that begins as an HTTP request: nothing
// after such text is taken.
#include "Protocol.h"

#include <QList>
#include <QString>
#include <QXmlStreamReader>

namespace indi {

struct ReaderLimits {
    qsizetype elementChars = 64 * 1024; // one top-level element with its members, or text between
    int depth = 2;                      // a vector and its members
    int attributes = 16;                // per element
    int members = 256;                  // per vector
};

class TReader {
  public:
    explicit TReader(ReaderLimits limits = {});

    // Reads the bytes and appends the commands they complete, in order. False once the stream
    // is broken (now or before): no command is taken from it any more and Error() says why.
    // enableBLOB, pingReply and other elements this server has no use for are read and dropped.
    bool Feed(const QByteArray& bytes, QList<Command>& commands);
    bool Broken() const { return !error_.isEmpty(); }
    const QString& Error() const { return error_; }

  private:
    void Fail(const QString& why);
    void Begin(QStringView text); // the stream's first characters other than whitespace
    void StartElement(QList<Command>& commands);
    void EndElement(QList<Command>& commands);

    ReaderLimits limits_;
    QXmlStreamReader xml_;
    QByteArray held_;        // the start of a character whose end has not arrived
    qsizetype fed_ = 0;      // characters handed to the XML reader, the made-up root included
    qsizetype boundary_ = 0; // character offset where the element being read began
    int depth_ = 0;          // open elements, the made-up root included
    bool begun_ = false;     // a character other than whitespace has come
    QString opening_;        // the stream's first text while it may still be an XML declaration
    bool taking_ = false;    // the open top-level element is a command
    Command command_;
    QLatin1StringView commandTag_; // its element, and the element of its members
    QLatin1StringView memberTag_;
    bool inMember_ = false;
    Command::Member member_;
    QString error_;
};

} // namespace indi
