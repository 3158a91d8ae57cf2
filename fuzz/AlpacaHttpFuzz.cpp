// SPDX-License-Identifier: GPL-3.0-or-later
// The Alpaca server's request reader fed the reads of one connection in turn, as the server
// feeds it, and the same bytes in one read: both must see the same requests and the same end.
#include "FormFields.h"
#include "FuzzInput.h"
#include "HttpReader.h"

#include <QStringList>

namespace {

constexpr qsizetype kMaxRead = 16 * 1024; // the most the server takes from one read

// One request as text, to compare the two readings.
QByteArray Describe(const THttpRequest& r) {
    QByteArray text = r.method + ' ' + r.path + '?' + r.query + ' ' + r.version + '\n';
    for (const auto& [name, value] : r.fields)
        text += name + ':' + value + '\n';
    return text + QByteArray::number(r.body.size()) + ':' + r.body + (r.keepAlive ? "K" : "C");
}

void CheckRequest(const THttpRequest& r) {
    Check(!r.method.isEmpty() && r.path.startsWith('/'), "request without method or path");
    Check(r.version == "HTTP/1.1" || r.version == "HTTP/1.0", "unknown version taken");
    Check(r.body.size() <= THttpReader::kMaxBody, "body past its bound");
    Check(r.fields.size() <= THttpReader::kMaxFields, "fields past their bound");
    const QByteArray length = r.Field("content-length");
    Check(length.isEmpty() ? r.body.isEmpty() : length.toLongLong() == r.body.size(),
          "body not of its Content-Length");
    for (const auto& [name, value] : r.fields)
        Check(name == name.toLower() && !name.isEmpty(), "field name not in lower case");
    // The parameters of either place decode without failing.
    for (const QByteArray* encoded : {&r.query, &r.body}) {
        const TFormFields form = TFormFields::Parse(*encoded);
        for (const auto& [name, value] : form.All())
            (void)ParseDouble(value), (void)ParseInt32(value), (void)ParseUInt32(name);
    }
}

// Takes every whole request out of the reader; returns false once it refused.
bool Drain(THttpReader& reader, QList<QByteArray>& seen) {
    THttpRequest request;
    for (;;) {
        const THttpReader::Result result = reader.Next(request);
        if (result == THttpReader::Result::NeedMore) return true;
        if (result == THttpReader::Result::Refused) {
            const int status = reader.Status();
            Check(status == 400 || status == 413 || status == 414 || status == 431 ||
                      status == 501 || status == 505,
                  "refused with an unexpected status");
            Check(!reader.Reason().isEmpty(), "refused without a reason");
            seen << "refused " + QByteArray::number(status);
            return false;
        }
        CheckRequest(request);
        seen << Describe(request);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    THttpReader byReads;
    QList<QByteArray> seenByReads;
    QByteArray whole;
    ForEachRead(data, size, kMaxRead, [&](const std::optional<QByteArray>& read) {
        if (!read) return true; // the server hands no empty read to the reader
        whole += *read;
        byReads.Feed(*read);
        const bool open = Drain(byReads, seenByReads);
        // What waits is at most one unfinished head and body and the rest of one read.
        Check(byReads.Buffered() <= THttpReader::kMaxHead + THttpReader::kMaxBody + kMaxRead,
              "reader holds more than its bounds");
        return open;
    });

    THttpReader atOnce;
    QList<QByteArray> seenAtOnce;
    atOnce.Feed(whole);
    Drain(atOnce, seenAtOnce);
    Check(seenAtOnce == seenByReads, "the reads' cuts changed what was read");
    return 0;
}
