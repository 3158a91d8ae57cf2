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

QByteArray Repeated(const QByteArray& text, int count) {
    QByteArray all;
    for (int i = 0; i < count; ++i)
        all += text;
    return all;
}

} // namespace

TEST(Framing, ReadsBecomeRequests) {
    const QByteArray move = "GET /move_in?value=10 HTTP/1.1\r\n"; // 32 bytes
    const struct {
        const char* name;
        QList<QByteArray> reads;
        QStringList steps;
    } cases[] = {
        {"whole request", {"GET / HTTP/1.1\r\nHost: x\r\n\r\n"}, {"GET / HTTP/1.1"}},
        {"no empty line yet", {"GET / HTTP/1.1\r\nHost: x\r\n"}, {}},
        {"partial line waits for its end", {"GET / HT", "TP/1.1\r\n\r\n"}, {"GET / HTTP/1.1"}},
        {"CR LF torn between reads", {"GET / HTTP/1.1\r", "\n\r", "\n"}, {"GET / HTTP/1.1"}},
        {"lone LF and lone CR", {"A\nB\n\nC\r\r"}, {"A", "C"}},
        {"two in one read", {"A\r\n\r\nB\r\n\r\n"}, {"A", "B"}},
        {"empty lines between requests", {"\r\n\r\nA\r\n\r\n\n\nB\n\n"}, {"A", "B"}},
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
        {"same length twice",
         {"P\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nxA\n\n"},
         {"P", "A"}},
        {"zero length", {"P\r\nContent-Length: 0\r\n\r\nA\n\n"}, {"P", "A"}},
        {"lengths that differ",
         {"P\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nA\n\n"},
         {"end: Unreadable Content-Length"}},
        {"length not a number",
         {"P\r\nContent-Length: 1x\r\n\r\nA\n\n"},
         {"end: Unreadable Content-Length"}},
        {"body without a length",
         {"P\r\nTransfer-Encoding: chunked\r\n\r\n" + move + "\r\n"},
         {"P", "end: Body without a length"}},
        {"empty lines up to the bound", {Repeated("\r\n", 300) + "A\r\n\r\n"}, {"A"}},
        {"empty lines past the bound",
         {Repeated("\r\n", 301) + "A\r\n\r\n"},
         {"end: Too many empty lines"}},
        {"the bound counts between requests",
         {Repeated("\n", 300) + "A\n\n" + Repeated("\n", 300) + "B\n\n"},
         {"A", "B"}},
        {"head at its bound",
         {"A" + QByteArray(8190 - 1, 'x') + "\r\n\r\n"},
         {"A" + QString(8190 - 1, 'x')}},
        {"head past its bound", {"A\r\n" + QByteArray(8190, 'x')}, {"end: Request too long"}},
        {"head past its bound over reads",
         {"A\r\n", QByteArray(5000, 'x'), QByteArray(4000, 'x')},
         {"end: Request too long"}},
        {"nothing after an end", {Repeated("\n", 400), "A\n\n"}, {"end: Too many empty lines"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Framed(c.reads), c.steps) << c.name;
}

TEST(Framing, HeadersAreFoundByNameInAnyCase) {
    TRequest request;
    request.headers = {"X: 1", "HOST: \t192.168.1.20:1321 ", "Host: second", "Referer:"};
    EXPECT_EQ(request.Header("host"), QByteArray("192.168.1.20:1321"));
    EXPECT_EQ(request.Header("Referer"), QByteArray(""));
    EXPECT_EQ(request.Header("Origin"), std::nullopt);
}

TEST(Origin, RequestsFromAPageOfAnotherSiteAreTold) {
    const struct {
        QList<QByteArray> headers;
        QString why; // empty: the request is answered
    } cases[] = {
        {{"Host: 192.168.1.20:1321"}, ""},
        {{}, ""},
        {{"Host: 192.168.1.20:1321", "Referer: http://192.168.1.20:1321/move_in?value=10"}, ""},
        {{"Host: 192.168.1.20:1321", "Origin: http://192.168.1.20:1321"}, ""},
        {{"Host: Skyvarn.local", "Origin: HTTP://skyvarn.LOCAL:80"}, ""},
        {{"Host: skyvarn.local:80", "Referer: http://user@skyvarn.local/"}, ""},
        {{"Host: [fe80::1]:1321", "Referer: http://[fe80::1]:1321/"}, ""},
        {{"Host: 192.168.1.20:1321", "Referer: http://evil.example/"},
         "Referer http://evil.example/ is not host 192.168.1.20:1321"},
        {{"Host: 192.168.1.20:1321", "Origin: http://192.168.1.20:8080"},
         "Origin http://192.168.1.20:8080 is not host 192.168.1.20:1321"},
        {{"Host: 192.168.1.20", "Origin: https://192.168.1.20"},
         "Origin https://192.168.1.20 is not host 192.168.1.20"},
        {{"Host: 192.168.1.20:1321", "Origin: null"}, "Origin null is not host 192.168.1.20:1321"},
        {{"Origin: http://192.168.1.20:1321"},
         "Origin http://192.168.1.20:1321 is not host (none)"},
        {{"Host: a", "Origin: http://a", "Referer: http://b/"}, "Referer http://b/ is not host a"},
    };
    for (const auto& c : cases) {
        TRequest request;
        request.line = "GET /move_in?value=10 HTTP/1.1";
        request.headers = c.headers;
        EXPECT_EQ(OtherSite(request), c.why) << c.headers.join(" | ").toStdString();
    }
}
