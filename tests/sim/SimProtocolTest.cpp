// SPDX-License-Identifier: GPL-3.0-or-later
// Pure parts of the simulator: command framing, reply layouts, dew point, link names.
#include "CommandFramer.h"
#include "DeviceNumbers.h"
#include "DewReplies.h"
#include "FocuserReplies.h"
#include "SimKinds.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <strings.h>

namespace {

using Clock = TCommandFramer::Clock;
using namespace std::chrono_literals;

struct TChunk {
    std::string bytes;
    std::chrono::milliseconds at; // arrival, from the start
};

struct TFramingCase {
    const char* name;
    bool moves;
    std::vector<TChunk> chunks;
    std::chrono::milliseconds expireAt; // silence checked at this time
    std::vector<std::string> complete;
    std::vector<std::string> dropped;
};

void RunFraming(const TFramingCase& c) {
    TCommandFramer framer(c.moves);
    const auto start = Clock::now();
    std::vector<std::string> complete, dropped;
    const auto take = [&](const std::vector<TFramedText>& pieces) {
        for (const auto& p : pieces)
            (p.complete ? complete : dropped).push_back(p.text);
    };
    for (const auto& chunk : c.chunks)
        take(framer.Feed(chunk.bytes, start + chunk.at));
    take(framer.Expire(start + c.expireAt));
    EXPECT_EQ(complete, c.complete) << c.name;
    EXPECT_EQ(dropped, c.dropped) << c.name;
}

} // namespace

TEST(SimFraming, CutsCommandsAsTheFirmwareWould) {
    const std::vector<TFramingCase> cases = {
        {"two commands in one burst",
         false,
         {{"FPOSROFTMPRO", 0ms}},
         0ms,
         {"FPOSRO", "FTMPRO"},
         {}},
        {"command in pieces", false, {{"FPO", 0ms}, {"SRO", 50ms}}, 50ms, {"FPOSRO"}, {}},
        {"line noise between commands", false, {{"\r\n SWHOIS\r", 0ms}}, 0ms, {"SWHOIS"}, {}},
        {"stale partial dropped",
         false,
         {{"FPO", 0ms}, {"FPOSRO", 150ms}},
         150ms,
         {"FPOSRO"},
         {"FPO"}},
        {"partial dropped at silence", false, {{"SCA30", 0ms}}, 100ms, {}, {"SCA30"}},
        {"move ended by next command",
         true,
         {{"I00100FPOSRO", 0ms}},
         0ms,
         {"I00100", "FPOSRO"},
         {}},
        {"seven-digit move", true, {{"I100000", 0ms}}, 15ms, {"I100000"}, {}},
        {"move waits for its digits", true, {{"O00100", 0ms}}, 5ms, {}, {}},
        {"move with trailing blank", true, {{"I0000 ", 0ms}}, 0ms, {"I0000"}, {}},
        {"move letter without digits", true, {{"IXXXXX", 0ms}}, 0ms, {"IXXXXX"}, {}},
        {"no move commands: six characters", false, {{"I00100F", 0ms}}, 0ms, {"I00100"}, {}},
        {"short move is partial", true, {{"I12", 0ms}}, 100ms, {}, {"I12"}},
    };
    for (const auto& c : cases)
        RunFraming(c);
}

TEST(SimFraming, DeviceDigitsAcceptDigitsOnly) {
    EXPECT_EQ(DeviceDigits("00123"), 123);
    EXPECT_EQ(DeviceDigits("0"), 0);
    EXPECT_EQ(DeviceDigits("99999999999999"), INT_MAX);
    EXPECT_FALSE(DeviceDigits(""));
    EXPECT_FALSE(DeviceDigits("12a"));
    EXPECT_FALSE(DeviceDigits(" 12"));
    EXPECT_FALSE(DeviceDigits("-1"));
}

TEST(SimReplies, SettingsReplyPutsEachFieldInItsPlace) {
    TFocuserSettings s;
    s.reversed = true;
    s.halfSteps = false;
    s.speedCode = 4;
    s.coefficient = 15;
    s.threshold = 5;
    s.maxPosition = 6000;
    const std::string reply = SettingsReply(s, 1320);
    ASSERT_EQ(reply.size(), 27u);
    EXPECT_EQ(reply.back(), '\n');
    // Character positions count from 1.
    const auto at = [&](int first, int width) { return reply.substr(first - 1, width); };
    EXPECT_EQ(at(3, 1), "1");
    EXPECT_EQ(at(5, 1), "0");
    EXPECT_EQ(at(7, 1), "4");
    EXPECT_EQ(at(9, 3), "015");
    EXPECT_EQ(at(13, 3), "005");
    EXPECT_EQ(at(17, 4), "1320");
    EXPECT_EQ(at(22, 5), "06000");
    EXPECT_EQ(SignReply(true).substr(2, 1), "1");
    EXPECT_EQ(SignReply(false).substr(2, 1), "0");
}

TEST(SimReplies, DewFrameMatchesTheFieldOrder) {
    TDewReadings r;
    r.probe = {21.5, 20.75};
    r.ambient = 18.0;
    r.humidity = 65.2;
    r.dewPoint = 11.43;
    r.output = {40, 40, 40};
    TDewSettings s;
    s.calibration = {1, 2, 0};
    s.threshold = {3, 3};
    s.automatic = true;
    s.linked = true;
    s.aggressivity = 2;
    EXPECT_EQ(DewFrame(r, s), "##21.50/20.75/18.00/65.2/11.43/40/40/40/1/2/0/3/3/1/1/2**");
    // The reader drops any chunk holding these letters: frames never do, acknowledgements do.
    r.probe = {-12.5, -0.004};
    EXPECT_EQ(DewFrame(r, s).find_first_of("DONE"), std::string::npos);
    EXPECT_NE(std::string(kDewDone).find_first_of("DONE"), std::string::npos);
    EXPECT_NE(std::string(kDewError).find_first_of("DONE"), std::string::npos);
}

TEST(SimReplies, DewPointFollowsMagnus) {
    EXPECT_NEAR(DewPoint(20, 50), 9.26, 0.02);
    EXPECT_NEAR(DewPoint(10, 100), 10.0, 1e-9);
    EXPECT_NEAR(DewPoint(-5, 80), -7.9, 0.1);
    EXPECT_LT(DewPoint(15, 40), DewPoint(15, 60));
}

TEST(SimKinds, LinkNamesKeepTheirOrderWhenSortedIgnoringCase) {
    std::vector<TSimKind> kinds;
    for (const char* name : {"focuser", "focuser-old", "dew", "panels", "silent"})
        kinds.push_back(*FindSimKind(name));
    EXPECT_EQ(LinkNames(kinds), (std::vector<std::string>{"focuser-1", "focuser-2", "dew-1",
                                                          "panels-1", "silent-1"}));

    std::vector<TSimKind> many(12, *FindSimKind("focuser"));
    auto names = LinkNames(many);
    EXPECT_EQ(names.front(), "focuser-01");
    EXPECT_EQ(names.back(), "focuser-12");
    auto sorted = names;
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return ::strcasecmp(a.c_str(), b.c_str()) < 0; });
    EXPECT_EQ(sorted, names);

    EXPECT_TRUE(IsSimLinkName("focuser-2"));
    EXPECT_TRUE(IsSimLinkName("silent-10"));
    EXPECT_FALSE(IsSimLinkName("focuser-"));
    EXPECT_FALSE(IsSimLinkName("focuser-2b"));
    EXPECT_FALSE(IsSimLinkName("ttyUSB0"));
    EXPECT_FALSE(FindSimKind("telescope"));
}
