// SPDX-License-Identifier: GPL-3.0-or-later
// The request reader against HTTP/1.1's message rules and its own bounds, reads cut anywhere.
#include "HttpReader.h"
#include "FormFields.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct TReaderCase {
    const char* name;
    QList<QByteArray> reads;
    // Each request as "METHOD path ?query body K|C" (K: kept alive), a refusal as its status;
    // "more" when the reader waits for more at the end.
    QStringList seen;
};

const QByteArray kLong(THttpReader::kMaxLine + 1, 'a');

const TReaderCase kCases[] = {
    {"a GET",
     {"GET /api/v1/focuser/0/position?a=1 HTTP/1.1\r\nHost: h\r\n\r\n"},
     {"GET /api/v1/focuser/0/position ?a=1  K"}},
    {"a PUT with its body",
     {"PUT /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nPosition=5"},
     {"PUT /x ? Position=5 K"}},
    {"cut everywhere",
     {"PU", "T /x HTTP/1.1\r", "\nContent-Len", "gth: 3\r\n\r", "\nab", "c"},
     {"PUT /x ? abc K"}},
    {"body still coming", {"PUT /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nPos"}, {"more"}},
    {"pipelined requests in order",
     {"GET /a HTTP/1.1\r\n\r\nPUT /b HTTP/1.1\r\nContent-Length: 1\r\n\r\nxGET /c "
      "HTTP/1.1\r\n\r\n"},
     {"GET /a ?  K", "PUT /b ? x K", "GET /c ?  K"}},
    {"line feeds alone end lines", {"GET /a HTTP/1.1\nHost: h\n\n"}, {"GET /a ?  K"}},
    {"empty lines before a request", {"\r\n\r\nGET /a HTTP/1.1\r\n\r\n"}, {"GET /a ?  K"}},
    {"Connection: close", {"GET /a HTTP/1.1\r\nConnection: Close\r\n\r\n"}, {"GET /a ?  C"}},
    {"HTTP/1.0 closes", {"GET /a HTTP/1.0\r\n\r\n"}, {"GET /a ?  C"}},
    {"HTTP/1.0 kept alive", {"GET /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"}, {"GET /a ?  K"}},
    {"an unknown version", {"GET /a HTTP/2.0\r\n\r\n"}, {"505"}},
    {"not HTTP", {"GET /a FTP\r\n\r\n"}, {"400"}},
    {"a target not a path", {"GET http://h/a HTTP/1.1\r\n\r\n"}, {"400"}},
    {"two blanks", {"GET  /a HTTP/1.1\r\n\r\n"}, {"400"}},
    {"a field without a colon", {"GET /a HTTP/1.1\r\nHost\r\n\r\n"}, {"400"}},
    {"a folded field", {"GET /a HTTP/1.1\r\nA: b\r\n c\r\n\r\n"}, {"400"}},
    {"a blank before the colon", {"GET /a HTTP/1.1\r\nHost : h\r\n\r\n"}, {"400"}},
    {"a zero byte", {QByteArray("GET /a HTTP/1.1\r\nA: \0\r\n\r\n", 25)}, {"400"}},
    {"a bad length", {"PUT /a HTTP/1.1\r\nContent-Length: -1\r\n\r\n"}, {"400"}},
    {"two different lengths",
     {"PUT /a HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab"},
     {"400"}},
    {"chunked bodies", {"PUT /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"}, {"501"}},
    {"a body past its bound",
     {"PUT /a HTTP/1.1\r\nContent-Length: " + QByteArray::number(THttpReader::kMaxBody + 1) +
      "\r\n\r\n"},
     {"413"}},
    {"an endless request line", {"GET /" + kLong}, {"414"}},
    {"an endless field", {"GET / HTTP/1.1\r\nA: " + kLong}, {"431"}},
    {"a head past its bound",
     {"GET / HTTP/1.1\r\n" + QByteArray(3, 'x').repeated(1) + ": " + QByteArray(8000, 'b') +
      "\r\nB: " + QByteArray(8000, 'b') + "\r\nC: " + QByteArray(1000, 'c')},
     {"431"}},
    {"too many fields",
     {"GET / HTTP/1.1\r\n" + QByteArray("A: b\r\n").repeated(65) + "\r\n"},
     {"431"}},
    {"nothing after a refusal", {"GET / HTTP/9.9\r\n\r\n", "GET / HTTP/1.1\r\n\r\n"}, {"505"}},
};

QString Describe(const THttpRequest& r) {
    return QString::fromLatin1(r.method + ' ' + r.path + " ?" + r.query + ' ' + r.body + ' ' +
                               (r.keepAlive ? 'K' : 'C'));
}

} // namespace

TEST(AlpacaHttpReader, MessageRulesAndBounds) {
    for (const TReaderCase& c : kCases) {
        SCOPED_TRACE(c.name);
        THttpReader reader;
        QStringList seen;
        bool refused = false;
        for (const QByteArray& read : c.reads) {
            reader.Feed(read);
            THttpRequest request;
            THttpReader::Result result;
            while ((result = reader.Next(request)) == THttpReader::Result::Request)
                seen << Describe(request);
            if (result == THttpReader::Result::Refused && !refused) {
                seen << QString::number(reader.Status());
                refused = true;
            }
        }
        THttpRequest request;
        if (reader.Next(request) == THttpReader::Result::NeedMore && reader.Buffered() > 0)
            seen << "more";
        EXPECT_EQ(seen, c.seen);
        EXPECT_LE(reader.Buffered(), THttpReader::kMaxHead + THttpReader::kMaxBody);
    }
}

TEST(AlpacaHttpReader, FormParameters) {
    const TFormFields form = TFormFields::Parse("Id=1&Name=Output+2%21&empty=&flag&Id=3&%4Eame2=x");
    EXPECT_EQ(form.Value(u"id"), "1"); // the first of two
    EXPECT_EQ(form.Value(u"NAME"), "Output 2!");
    EXPECT_EQ(form.Value(u"empty"), "");
    EXPECT_EQ(form.Value(u"flag"), "");
    EXPECT_EQ(form.Value(u"name2"), "x");
    EXPECT_EQ(form.Value(u"missing"), std::nullopt);

    EXPECT_EQ(ParseInt32("-2147483648"), std::numeric_limits<qint32>::min());
    EXPECT_EQ(ParseInt32("2147483648"), std::nullopt);
    EXPECT_EQ(ParseInt32("99999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseInt32(" 1"), std::nullopt);
    EXPECT_EQ(ParseInt32("0x10"), std::nullopt);
    EXPECT_EQ(ParseUInt32("4294967295"), 4294967295u);
    EXPECT_EQ(ParseUInt32("+1"), std::nullopt);
    EXPECT_EQ(ParseDouble("70.5"), 70.5);
    EXPECT_EQ(ParseDouble("70,5"), std::nullopt);
    EXPECT_EQ(ParseDouble("nan"), std::nullopt);
    EXPECT_EQ(ParseBool("FaLsE"), false);
    EXPECT_EQ(ParseBool("1"), std::nullopt);
}
