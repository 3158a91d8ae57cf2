// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpReader.h"

#include <cctype>

namespace {

// RFC 9110 token characters: methods and field names.
bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool IsToken(const QByteArray& text) {
    if (text.isEmpty()) return false;
    for (const char c : text)
        if (!IsTokenChar(c)) return false;
    return true;
}

// Visible characters only: no blank, no control byte.
bool IsTarget(const QByteArray& text) {
    if (!text.startsWith('/')) return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') return false;
    return true;
}

// A field value may hold blanks and 8-bit bytes, but no control byte but tab.
bool IsFieldValue(const QByteArray& text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < ' ' && c != '\t') || u == 0x7f) return false;
    }
    return true;
}

QByteArray TrimBlanks(const QByteArray& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.mid(start, end - start);
}

// Whether a Connection field lists the option (comma-separated, any case).
bool HasConnectionOption(const QByteArray& field, const char* option) {
    for (const QByteArray& part : field.split(','))
        if (TrimBlanks(part).toLower() == option) return true;
    return false;
}

} // namespace

QByteArray THttpRequest::Field(const QByteArray& lowerName) const {
    for (const auto& [name, value] : fields)
        if (name == lowerName) return value;
    return {};
}

void THttpReader::Feed(const QByteArray& bytes) {
    if (status_ == 0) buffer_ += bytes;
}

THttpReader::Result THttpReader::Refuse(int status, const char* reason) {
    status_ = status;
    reason_ = reason;
    buffer_.clear();
    return Result::Refused;
}

THttpReader::Result THttpReader::Next(THttpRequest& request) {
    if (status_ != 0) return Result::Refused;
    // Empty lines before a request line are allowed, and some clients send one after a body.
    qsizetype skip = 0;
    while (skip < buffer_.size() && (buffer_[skip] == '\r' || buffer_[skip] == '\n'))
        ++skip;
    buffer_.remove(0, skip);

    // The head ends at the first empty line; each line is checked against its bound as it
    // comes, so that an endless line is refused before the head's bound.
    qsizetype lineStart = 0;
    for (int line = 0;; ++line) {
        const qsizetype lf = buffer_.indexOf('\n', lineStart);
        const qsizetype length = (lf < 0 ? buffer_.size() : lf) - lineStart;
        if (length > kMaxLine)
            return line == 0 ? Refuse(414, "Request line too long")
                             : Refuse(431, "Header field too long");
        if (lf < 0) {
            if (buffer_.size() > kMaxHead) return Refuse(431, "Request head too long");
            return Result::NeedMore;
        }
        if (lf + 1 > kMaxHead) return Refuse(431, "Request head too long");
        if (line > kMaxFields) return Refuse(431, "Too many header fields");
        const bool empty = length == 0 || (length == 1 && buffer_[lineStart] == '\r');
        if (empty && line > 0) return ParseHead(lineStart, lf + 1, request);
        lineStart = lf + 1;
    }
}

THttpReader::Result THttpReader::ParseHead(qsizetype headEnd, qsizetype bodyStart,
                                           THttpRequest& request) {
    QList<QByteArray> lines = buffer_.left(headEnd).split('\n');
    lines.removeLast(); // what follows the last line feed of the head: nothing
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        if (line.contains('\r') || line.contains('\0')) return Refuse(400, "Bad line end");
    }

    THttpRequest parsed;
    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || !IsToken(parts[0]) || !IsTarget(parts[1]))
        return Refuse(400, "Bad request line");
    parsed.method = parts[0];
    const QByteArray& version = parts[2];
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        const bool http = version.size() == 8 && version.startsWith("HTTP/") &&
                          std::isdigit(static_cast<unsigned char>(version[5])) &&
                          version[6] == '.' && std::isdigit(static_cast<unsigned char>(version[7]));
        return http ? Refuse(505, "HTTP version not supported") : Refuse(400, "Bad request line");
    }
    parsed.version = version;
    const qsizetype question = parts[1].indexOf('?');
    parsed.path = question < 0 ? parts[1] : parts[1].left(question);
    parsed.query = question < 0 ? QByteArray() : parts[1].mid(question + 1);

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        // Folded lines (a line starting with a blank) are obsolete and refused.
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) return Refuse(400, "Bad header field");
        const QByteArray name = line.left(colon);
        const QByteArray value = TrimBlanks(line.mid(colon + 1));
        if (!IsToken(name) || !IsFieldValue(value)) return Refuse(400, "Bad header field");
        parsed.fields.append({name.toLower(), value});
    }

    if (!parsed.Field("transfer-encoding").isEmpty())
        return Refuse(501, "Transfer-Encoding not supported");
    qint64 length = 0;
    bool lengthSeen = false;
    for (const auto& [name, value] : parsed.fields) {
        if (name != "content-length") continue;
        bool digits = !value.isEmpty() && value.size() <= 18;
        for (const char c : value)
            digits = digits && c >= '0' && c <= '9';
        if (!digits) return Refuse(400, "Bad Content-Length");
        const qint64 number = value.toLongLong();
        if (lengthSeen && number != length) return Refuse(400, "Bad Content-Length");
        length = number;
        lengthSeen = true;
    }
    if (length > kMaxBody) return Refuse(413, "Request body too long");
    if (buffer_.size() - bodyStart < length) return Result::NeedMore;

    parsed.body = buffer_.mid(bodyStart, length);
    const QByteArray connection = parsed.Field("connection");
    parsed.keepAlive = parsed.version == "HTTP/1.1" ? !HasConnectionOption(connection, "close")
                                                    : HasConnectionOption(connection, "keep-alive");
    buffer_.remove(0, bodyStart + length);
    request = std::move(parsed);
    return Result::Request;
}
