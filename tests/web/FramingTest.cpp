// SPDX-License-Identifier: GPL-3.0-or-later
// How a connection's reads become requests, and which requests come from another site.
#include "Framing.h"
#include "Origin.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

// The request lines framed from the reads, in order; an end as "end: <why>".
QStringList Framed(const QList<QByteArray>& reads) {
    TFraming framing;
    QStringList steps;
    for (const QByteArray& read : reads)
        for (const TFramed& step : framing.Feed(read))
            steps << (step.request ? QString::fromLatin1(step.request->line) : "end: " + step.end);
    return steps;
}

} // namespace

TEST(Framing, ReadsBecomeRequests) {
    const QByteArray move = "GET /move_in?value=10 HTTP/1.1\r\n"; // 32 bytes
    const struct {
        const char* name;
        QList<QByteArray> reads;
        QStringList steps;
    } cases[] = {
        {"partial line waits for its end", {"GET / HT", "TP/1.1\r\n\r\n"}, {"GET / HTTP/1.1"}},
        {"zero byte ends its read",
         {QByteArray("A\r\n\r\nB\0C\r\n\r\n", 12), "\r\n\r\n"},
         {"A", "B"}},
        {"body skipped",
         {"POST / HTTP/1.1\r\nContent-Length: 32\r\n\r\n" + move + "A\r\n\r\n"},
         {"POST / HTTP/1.1", "A"}},
        {"body across reads",
         {"GET / HTTP/1.1\r\ncontent-length:  32 \r\n\r\nGET /mo", "ve_in?value=10 HTTP/1.1\r\n",
          "A\r\n\r\n"},
         {"GET / HTTP/1.1", "A"}},
        {"body after a torn empty line",
         {"P\r\nContent-Length: 3\r\n\r", "\nabcA\r\n\r\n"},
         {"P", "A"}},
        {"zero bytes of a body are body",
         {QByteArray("P\r\nContent-Length: 2\r\n\r\n\0\0A\n\n", 29)},
         {"P", "A"}},
        {"lengths that differ",
         {"P\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nA\n\n"},
         {"end: Unreadable Content-Length"}},
        {"length not a number",
         {"P\r\nContent-Length: 1x\r\n\r\nA\n\n"},
         {"end: Unreadable Content-Length"}},
        {"body without a length",
         {"P\r\nTransfer-Encoding: chunked\r\n\r\n" + move + "\r\n"},
         {"P", "end: Body without a length"}},
        {"empty lines up to the bound", {QByteArray("\r\n").repeated(300) + "A\r\n\r\n"}, {"A"}},
        {"empty lines past the bound",
         {QByteArray("\r\n").repeated(301) + "A\r\n\r\n"},
         {"end: Too many empty lines"}},
        {"the bound counts between requests",
         {QByteArray("\n").repeated(300) + "A\n\n" + QByteArray("\n").repeated(300) + "B\n\n"},
         {"A", "B"}},
        {"head at its bound",
         {"A" + QByteArray(8190 - 1, 'x') + "\r\n\r\n"},
         {"A" + QString(8190 - 1, 'x')}},
        {"head past its bound", {"A\r\n" + QByteArray(8190, 'x')}, {"end: Request too long"}},
        {"nothing after an end",
         {QByteArray("\n").repeated(400), "A\n\n"},
         {"end: Too many empty lines"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Framed(c.reads), c.steps) << c.name;
}

TEST(Origin, RequestsFromAPageOfAnotherSiteAreTold) {
    const struct {
        QList<QByteArray> headers;
        QString why; // empty: the request is answered
    } cases[] = {
        {{}, ""},
        {{"Host: 192.168.1.20:1321", "Referer: http://192.168.1.20:1321/move_in?value=10"}, ""},
        {{"X: 1", "HOST: \tSkyvarn.local ", "origin: HTTP://user@skyvarn.LOCAL:80"}, ""},
        {{"Host: [fe80::1]:1321", "Referer: http://[fe80::1]:1321/"}, ""},
        {{"Host: 192.168.1.20:1321", "Origin: http://192.168.1.20:8080"},
         "Origin http://192.168.1.20:8080 is not host 192.168.1.20:1321"},
        {{"Host: 192.168.1.20", "Origin: https://192.168.1.20"},
         "Origin https://192.168.1.20 is not host 192.168.1.20"},
        {{"Host: a", "Origin: null"}, "Origin null is not host a"},
        {{"Origin: http://a"}, "Origin http://a is not host (none)"},
        {{"Host: a", "Origin: http://a", "Referer: http://b/"}, "Referer http://b/ is not host a"},
        // What the browser says wins over a Referer kept from the page by its policy.
        {{"Host: a", "Sec-Fetch-Site: cross-site"},
         "Sec-Fetch-Site cross-site is another site's request"},
        {{"sec-fetch-site: Same-Site", "Referer: http://a/"},
         "Sec-Fetch-Site Same-Site is another site's request"},
        {{"Host: a", "Sec-Fetch-Site: same-origin", "Referer: http://a/"}, ""},
        {{"Sec-Fetch-Site: none"}, ""},
    };
    for (const auto& c : cases) {
        TRequest request;
        request.line = "GET /move_in?value=10 HTTP/1.1";
        request.headers = c.headers;
        EXPECT_EQ(OtherSite(request), c.why) << c.headers.join(" | ").toStdString();
    }
}
