// SPDX-License-Identifier: GPL-3.0-or-later
#include "Telemetry.h"

#include "Convert.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// One focuser's receive side with its log and the states seen by each display refresh.
struct Focuser {
    QString name = QStringLiteral("QLO");
    FocuserRx rx;
    QStringList log;
    std::vector<FocuserRx> refreshed;
    std::vector<FocuserValue> taken; // what each refresh's reply brought

    int Receive(const std::optional<QByteArray>& chunk) {
        log.clear();
        return ReceiveFocuserChunk(
            rx, chunk, name, [this](const QString& line) { log << line; },
            [this](const FocuserRx& state, FocuserValue value) {
                refreshed.push_back(state);
                taken.push_back(value);
            });
    }
};

} // namespace

// Runs in the default process of this binary, which CTest starts with the "C" locale.
class FocuserReceive : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(DecimalSeparator(), QChar('.')) << "run with LC_ALL=C"; }
    Focuser f;
};

TEST_F(FocuserReceive, FiveDigitsStoreThePositionAndRefresh) {
    f.rx.temp = 12.5;
    EXPECT_EQ(f.Receive("P=01234\n"), 1);
    EXPECT_EQ(f.rx.position, 1234);
    EXPECT_EQ(f.rx.temp, 12.5);
    EXPECT_TRUE(f.rx.buffer.isEmpty());
    EXPECT_EQ(f.log, QStringList({"QLO Rx:P=01234\n - RxBufferQLO:",
                                  "OK RxBufferQLO:P=01234\n Pos(P)=1 Pos(T)=0 Pos(#10)=8",
                                  "     extracted QLO pos:01234"}));
    ASSERT_EQ(f.refreshed.size(), 1u);
    EXPECT_EQ(f.refreshed[0].position, 1234);
}

TEST_F(FocuserReceive, PositionOfOtherThanFiveCharactersKeepsTheOldOneButRefreshes) {
    f.rx.position = 777;
    EXPECT_EQ(f.Receive("P=1234\n"), 1);
    EXPECT_EQ(f.rx.position, 777);
    EXPECT_EQ(f.log.last(), "     extracted QLO pos:1234");

    // A carriage return before the line feed makes six characters: ignored as well.
    EXPECT_EQ(f.Receive("P=01234\r\n"), 1);
    EXPECT_EQ(f.rx.position, 777);
    EXPECT_EQ(f.log.last(), "     extracted QLO pos:01234\r");
    EXPECT_TRUE(f.rx.buffer.isEmpty());
}

TEST_F(FocuserReceive, CarriageReturnBeforeTheKeyIsHarmless) {
    EXPECT_EQ(f.Receive("\rP=01234\n"), 1);
    EXPECT_EQ(f.rx.position, 1234);
    EXPECT_EQ(f.log[1], "OK RxBufferQLO:\rP=01234\n Pos(P)=2 Pos(T)=0 Pos(#10)=9");
}

TEST_F(FocuserReceive, SplitReplyIsBufferedUntilTheLineFeed) {
    EXPECT_EQ(f.Receive("P=012"), 0);
    EXPECT_EQ(f.log,
              QStringList({"QLO Rx:P=012 - RxBufferQLO:", "    incomplet, Bufferisation !"}));
    EXPECT_EQ(f.rx.buffer, "P=012");
    EXPECT_TRUE(f.refreshed.empty());

    EXPECT_EQ(f.Receive("34\n"), 1);
    EXPECT_EQ(f.log[0], "QLO Rx:34\n - RxBufferQLO:P=012"); // the buffer before the chunk
    EXPECT_EQ(f.rx.position, 1234);
    EXPECT_TRUE(f.rx.buffer.isEmpty());
}

TEST_F(FocuserReceive, OnlyTheFirstLineIsTaken) {
    f.rx.temp = 3;
    EXPECT_EQ(f.Receive("P=01234\nT=21.5\n"), 1);
    EXPECT_EQ(f.rx.position, 1234);
    EXPECT_EQ(f.rx.temp, 3);
    EXPECT_TRUE(f.rx.buffer.isEmpty());
    EXPECT_EQ(f.log[1], "OK RxBufferQLO:P=01234\nT=21.5\n Pos(P)=1 Pos(T)=9 Pos(#10)=8");
}

TEST_F(FocuserReceive, TemperatureLogsTheLineAndItsValue) {
    EXPECT_EQ(f.Receive("T=21.5\n"), 1);
    EXPECT_EQ(f.rx.temp, 21.5);
    EXPECT_EQ(f.log, QStringList({"QLO Rx:T=21.5\n - RxBufferQLO:",
                                  "OK RxBufferQLO:T=21.5\n Pos(P)=0 Pos(T)=1 Pos(#10)=7",
                                  "Left:T=21.5 Length:6", "Right:21.5 Length:4",
                                  "     extracted QLO temp:21.5"}));
}

TEST_F(FocuserReceive, BothKeysRefreshTwiceInOrder) {
    f.rx.position = 5;
    f.rx.temp = 1;
    EXPECT_EQ(f.Receive("P=123456T=-3.25\n"), 2);
    ASSERT_EQ(f.refreshed.size(), 2u);
    EXPECT_EQ(f.refreshed[0].temp, 1); // the position refresh comes before the temperature
    EXPECT_EQ(f.refreshed[1].temp, -3.25);
    EXPECT_EQ(f.rx.position, 5);
    EXPECT_EQ(f.taken, (std::vector<FocuserValue>{FocuserValue::None, FocuserValue::Temperature}));
}

TEST_F(FocuserReceive, LineWithoutKeyIsLoggedAndDropped) {
    EXPECT_EQ(f.Receive("hello\n"), 0);
    EXPECT_EQ(f.log.size(), 2);
    EXPECT_TRUE(f.rx.buffer.isEmpty());
}

TEST_F(FocuserReceive, SecondFocuserUsesItsOwnTexts) {
    f.name = QStringLiteral("QLO2");
    f.Receive("P=00");
    EXPECT_EQ(f.Receive("042\n"), 1);
    EXPECT_EQ(f.rx.position, 42);
    EXPECT_EQ(f.log, QStringList({"QLO2 Rx:042\n - RxBufferQLO2:P=00",
                                  "OK RxBufferQLO2:P=00042\n Pos(P)=1 Pos(T)=0 Pos(#10)=8",
                                  "     extracted QLO2 pos:00042"}));
}

TEST_F(FocuserReceive, ClosedLinkReadsAndLogsNothing) {
    f.rx.buffer = "P=0";
    EXPECT_EQ(f.Receive(std::nullopt), 0);
    EXPECT_EQ(f.log, QStringList({"    incomplet, Bufferisation !"}));
    EXPECT_EQ(f.rx.buffer, "P=0");
}

// A reply that does not convert used to escape the handler and keep the buffer for ever.
TEST_F(FocuserReceive, UnconvertibleReplyIsLoggedAndDropped) {
    f.rx.position = 9;
    EXPECT_EQ(f.Receive("P=12a45\n"), 0);
    EXPECT_EQ(f.rx.position, 9);
    EXPECT_EQ(f.log.last(), "Erreur extraction QLO :'12a45' n'est pas une valeur entière correcte");
    EXPECT_TRUE(f.rx.buffer.isEmpty());

    f.rx.temp = 4;
    EXPECT_EQ(f.Receive("T=warm\n"), 0);
    EXPECT_EQ(f.rx.temp, 4);
    EXPECT_EQ(f.log.last(),
              "Erreur extraction QLO :'warm' n'est pas une valeur en virgule flottante correcte");
    EXPECT_TRUE(f.rx.buffer.isEmpty());

    EXPECT_EQ(f.Receive("P=00042\n"), 1); // the next replies are parsed again
    EXPECT_EQ(f.rx.position, 42);
}

// A device that never ends its line used to make the buffer grow without bound.
TEST_F(FocuserReceive, BufferWithoutLineFeedIsBounded) {
    const QByteArray chunk(64, 'x');
    for (int i = 0; i < 4; ++i) { // 256 characters are still kept
        EXPECT_EQ(f.Receive(chunk), 0);
        EXPECT_EQ(f.log.last(), "    incomplet, Bufferisation !");
    }
    EXPECT_EQ(f.rx.buffer.size(), kFocuserRxLimit);
    EXPECT_EQ(f.Receive("y"), 0);
    EXPECT_EQ(f.log.last(), "    trop long sans fin de ligne (257 caractères), RxBufferQLO vidé !");
    EXPECT_TRUE(f.rx.buffer.isEmpty());
    EXPECT_EQ(f.Receive("P=01234\n"), 1);
    EXPECT_EQ(f.rx.position, 1234);
}

// Runs only in the process that CTest starts with LC_ALL=fr_FR.UTF-8.
class FocuserCommaLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(DecimalSeparator(), QChar(',')) << "run with LC_ALL=fr_FR.UTF-8";
    }
    Focuser f;
};

TEST_F(FocuserCommaLocale, TemperatureTakesThePointAndTheRegionalSeparator) {
    EXPECT_EQ(f.Receive("T=21,5\n"), 1);
    EXPECT_EQ(f.rx.temp, 21.5);
    EXPECT_EQ(f.Receive("T=18.25\n"), 1);
    EXPECT_EQ(f.rx.temp, 18.25);
    EXPECT_EQ(f.Receive("T=18;25\n"), 0);
    EXPECT_EQ(f.log.last(),
              "Erreur extraction QLO :'18;25' n'est pas une valeur en virgule flottante correcte");
}
