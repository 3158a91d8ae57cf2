// SPDX-License-Identifier: GPL-3.0-or-later
#include "Framing.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A Content-Length value: decimal digits only, and not past what a body could hold.
std::optional<qint64> Length(const QByteArray& value) {
    if (value.isEmpty() || value.size() > 18) return std::nullopt;
    qint64 length = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        length = length * 10 + (c - '0');
    }
    return length;
}

// The value of a header line of that name (any case), blanks trimmed.
std::optional<QByteArray> ValueOf(const QByteArray& header, const char* name) {
    const qsizetype colon = header.indexOf(':');
    if (colon < 0 || header.left(colon).compare(name, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    qsizetype from = colon + 1, to = header.size();
    while (from < to && IsBlank(header[from]))
        ++from;
    while (to > from && IsBlank(header[to - 1]))
        --to;
    return header.mid(from, to - from);
}

} // namespace

std::optional<QByteArray> TRequest::Header(const char* name) const {
    for (const QByteArray& header : headers)
        if (std::optional<QByteArray> value = ValueOf(header, name)) return value;
    return std::nullopt;
}

QList<TFramed> TFraming::Feed(const QByteArray& bytes) {
    QList<TFramed> steps;
    const char* const data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype at = 0;
    while (at < size && !ended_) {
        if (skip_ > 0) {
            // The LF of the empty line's CR LF may come with the body's read.
            if (afterCR_ && data[at] == '\n') ++at;
            afterCR_ = false;
            const qint64 taken = std::min<qint64>(skip_, size - at);
            skip_ -= taken;
            at += taken;
            continue;
        }
        const char c = data[at++];
        if (c == '\0') break;
        if (afterCR_) {
            afterCR_ = false;
            if (c == '\n') continue;
        }
        if (c == '\r' || c == '\n') {
            afterCR_ = c == '\r';
            EndLine(steps);
            continue;
        }
        line_ += c;
        if (++headBytes_ > kMaxHead) End(steps, QStringLiteral("Request too long"));
    }
    return steps;
}

void TFraming::EndLine(QList<TFramed>& steps) {
    if (!line_.isEmpty()) {
        lines_.append(std::exchange(line_, {}));
        headBytes_ += 2;
        if (headBytes_ > kMaxHead) End(steps, QStringLiteral("Request too long"));
        return;
    }
    if (!lines_.isEmpty()) {
        EndRequest(steps);
        return;
    }
    // An empty line between requests answers nothing; a stream of them is no client's.
    if (++blankLines_ > kMaxBlankLines) End(steps, QStringLiteral("Too many empty lines"));
}

void TFraming::EndRequest(QList<TFramed>& steps) {
    TRequest request;
    request.line = lines_.takeFirst();
    request.headers = std::exchange(lines_, {});
    headBytes_ = 0;
    blankLines_ = 0;

    std::optional<qint64> length;
    bool unreadable = false;
    for (const QByteArray& header : request.headers) {
        const std::optional<QByteArray> value = ValueOf(header, "Content-Length");
        if (!value) continue;
        const std::optional<qint64> read = Length(*value);
        if (!read || (length && *length != *read)) unreadable = true;
        length = read;
    }
    if (unreadable) {
        End(steps, QStringLiteral("Unreadable Content-Length"));
        return;
    }
    const bool chunked = request.Header("Transfer-Encoding").has_value();
    steps.append(TFramed{std::move(request), {}});
    // Where such a body ends cannot be told, so nothing after it can be read as a request.
    if (chunked) End(steps, QStringLiteral("Body without a length"));
    skip_ = length.value_or(0);
}

void TFraming::End(QList<TFramed>& steps, const QString& why) {
    ended_ = true;
    steps.append(TFramed{std::nullopt, why});
}
