// SPDX-License-Identifier: GPL-3.0-or-later
#include "Frame.h"
#include "Display.h"

#include "Convert.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QByteArray kFrame = "##21.5/20.75/18.0/65.2/11.43/40/40/40/1/2/0/3/3/1/1/2**";

// The dew controller's receive side with its log.
struct Dew {
    QByteArray buffer;
    DewValues values;
    QStringList log;

    bool Receive(const std::optional<QByteArray>& chunk) {
        log.clear();
        return ReceiveDewChunk(buffer, chunk, values, [this](const QString& line) { log << line; });
    }
};

DewValues Marked() {
    DewValues v;
    v.LocTemp1 = v.LocTemp2 = v.AmbTemp = v.Humidity = v.Dewpoint = -99;
    v.Out1 = v.Out2 = v.Out3 = v.CalT1 = v.CalT2 = v.CalTA = v.ThrT1 = v.ThrT2 = v.Automode =
        v.OutsLinked = v.Aggressive = -99;
    return v;
}

} // namespace

// Runs in the default process of this binary, which CTest starts with the "C" locale.
class DewFrame : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(DecimalSeparator(), QChar('.')) << "run with LC_ALL=C"; }
    Dew d;
};

TEST_F(DewFrame, ExampleFrameGivesAllSixteenValuesAndTheirLogLines) {
    EXPECT_TRUE(d.Receive(kFrame));
    const DewValues& v = d.values;
    EXPECT_EQ(v.LocTemp1, 21.5);
    EXPECT_EQ(v.LocTemp2, 20.75);
    EXPECT_EQ(v.AmbTemp, 18.0);
    EXPECT_EQ(v.Humidity, 65.2);
    EXPECT_EQ(v.Dewpoint, 11.43);
    EXPECT_EQ(v.Out1, 40);
    EXPECT_EQ(v.Out2, 40);
    EXPECT_EQ(v.Out3, 40);
    EXPECT_EQ(v.CalT1, 1);
    EXPECT_EQ(v.CalT2, 2);
    EXPECT_EQ(v.CalTA, 0);
    EXPECT_EQ(v.ThrT1, 3);
    EXPECT_EQ(v.ThrT2, 3);
    EXPECT_EQ(v.Automode, 1);
    EXPECT_EQ(v.OutsLinked, 1);
    EXPECT_EQ(v.Aggressive, 2);
    EXPECT_TRUE(d.buffer.isEmpty());
    EXPECT_EQ(d.log,
              QStringList({"BRS Rx:" + kFrame + " - RxBufferBRS:",
                           QStringLiteral("!!Début et fin trouvés :") + kFrame,
                           "   extracted BRS Temp1:21.5", "   extracted BRS Temp2:20.75",
                           "   extracted BRS TempAmb:18.0", "   extracted BRS RH:65.2",
                           "   extracted BRS DP:11.43", "   extracted BRS Out1:40",
                           "   extracted BRS Out2:40", "   extracted BRS Out3:40",
                           "   extracted BRS CalT1:1", "   extracted BRS CalT2:2",
                           "   extracted BRS CalTA:0", "   extracted BRS ThrT1:3",
                           "   extracted BRS ThrT2:3", "   extracted BRS Automode:1",
                           "   extracted BRS Outslinked:1", "   extracted BRS Aggressive:2"}));
}

TEST_F(DewFrame, ExampleFrameDisplayTexts) {
    ASSERT_TRUE(d.Receive(kFrame));
    const DewTexts t = DewDisplayTexts(d.values);
    EXPECT_EQ(t.locTemp1, QStringLiteral("22.5 °C")); // calibration offsets added
    EXPECT_EQ(t.locTemp2, QStringLiteral("22.75 °C"));
    EXPECT_EQ(t.ambTemp, QStringLiteral("18 °C"));
    EXPECT_EQ(t.humidity, QStringLiteral("65.2 %"));
    EXPECT_EQ(t.dewpoint, QStringLiteral("11.43 °C"));
    EXPECT_EQ(t.out1, QStringLiteral("40 %"));
    EXPECT_EQ(t.out3, QStringLiteral("40 %"));
    EXPECT_EQ(OutputSliderPosition(d.values.Out1), 4);
    EXPECT_EQ(TemperatureText(0), QStringLiteral("0 °C"));
    DewValues dry;
    dry.Dewpoint = 5;
    EXPECT_EQ(DewDisplayTexts(dry).dewpoint, QStringLiteral("5.00 °C"));
}

TEST_F(DewFrame, SliderPositionIsTenthsWithinTheRange) {
    const int cases[][2] = {{0, 0},  {9, 0},    {35, 3},   {40, 4},
                            {49, 4}, {100, 10}, {250, 10}, {-15, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(OutputSliderPosition(c[0]), c[1]) << c[0];
}

TEST_F(DewFrame, FrameInThreeChunksIsParsedOnce) {
    EXPECT_FALSE(d.Receive("##21.5/20.75/18.0/65.2/"));
    EXPECT_EQ(d.log.last(), "    incomplet, Bufferisation !");
    EXPECT_FALSE(d.Receive("11.43/40/40/40/1/2/0/3/"));
    EXPECT_EQ(d.log,
              QStringList({"BRS Rx:11.43/40/40/40/1/2/0/3/ - RxBufferBRS:##21.5/20.75/18.0/65.2/",
                           "    incomplet, Bufferisation !"}));
    EXPECT_TRUE(d.Receive("3/1/1/2**"));
    EXPECT_EQ(d.values.Aggressive, 2);
    EXPECT_FALSE(d.Receive(QByteArray()));
    EXPECT_FALSE(d.Receive(std::nullopt));
    EXPECT_EQ(d.log, QStringList({"    incomplet, Bufferisation !"})); // closed link: no Rx line
}

TEST_F(DewFrame, TextAroundTheFrameIsIgnoredAndDiscarded) {
    EXPECT_TRUE(d.Receive("xy##1/2/3/4/5/6/7/8/9/10/11/12/13/14/15/16**##21"));
    EXPECT_EQ(d.values.LocTemp1, 1);
    EXPECT_EQ(d.values.Aggressive, 16);
    EXPECT_TRUE(d.buffer.isEmpty());
}

TEST_F(DewFrame, LettersDONEEmptyTheBuffer) {
    for (const char* chunk : {"E", "xDx", "O", "N"}) {
        d.buffer = "##21.5/20.75/";
        EXPECT_FALSE(d.Receive(chunk)) << chunk;
        EXPECT_TRUE(d.buffer.isEmpty()) << chunk;
    }
    // Even in the middle of an otherwise good frame: the frame is lost.
    QByteArray withE = kFrame;
    withE.insert(10, 'E');
    d.values = Marked();
    EXPECT_FALSE(d.Receive(withE));
    EXPECT_EQ(d.values.LocTemp1, -99);
    d.buffer = "##1/";
    EXPECT_FALSE(d.Receive("d/o/n/e")); // lower case letters are plain text
    EXPECT_EQ(d.buffer, "##1/d/o/n/e");
}

TEST_F(DewFrame, BufferPast100CharactersIsEmptiedBeforeTheSearch) {
    d.buffer = QByteArray(100 - kFrame.size(), 'x');
    EXPECT_TRUE(d.Receive(kFrame)); // exactly 100: kept and parsed

    d.buffer = QByteArray(101 - kFrame.size(), 'x');
    EXPECT_FALSE(d.Receive(kFrame));
    EXPECT_TRUE(d.buffer.isEmpty());
    EXPECT_EQ(d.log.last(), "    incomplet, Bufferisation !");
}

TEST_F(DewFrame, FailureKeepsEarlierFieldsAndTheRestFromTheFailingField) {
    d.values = Marked();
    EXPECT_FALSE(d.Receive("##21.5/20.75/18.0/65.2/abc/40/40/40/1/2/0/3/3/1/1/2**"));
    EXPECT_EQ(d.values.LocTemp1, 21.5);
    EXPECT_EQ(d.values.Humidity, 65.2);
    EXPECT_EQ(d.values.Dewpoint, -99);
    EXPECT_EQ(d.values.Out1, -99);
    EXPECT_EQ(d.log.last(),
              "Erreur extraction BRS getall :'abc' n'est pas une valeur en virgule flottante "
              "correcte");
    EXPECT_EQ(d.log[d.log.size() - 2], "   extracted BRS RH:65.2");
    EXPECT_EQ(d.buffer, "abc/40/40/40/1/2/0/3/3/1/1/2**");

    // The rest has "**" without "##" before it: later frames wait behind it and are lost.
    EXPECT_FALSE(d.Receive("##1/"));
    EXPECT_EQ(d.log.last(), "    incomplet, Bufferisation !");
    EXPECT_FALSE(d.Receive("2/3/4/5/6/7/8/9/10/11/12/13/14/15/16**"));
    EXPECT_EQ(d.log.last(), "    incomplet, Bufferisation !");
    EXPECT_EQ(d.values.LocTemp1, 21.5);
}

TEST_F(DewFrame, IntegerFieldFailureNamesTheText) {
    d.values = Marked();
    EXPECT_FALSE(d.Receive("##21.5/20.75/18.0/65.2/11.43/40/4.5/40/1/2/0/3/3/1/1/2**"));
    EXPECT_EQ(d.values.Out1, 40);
    EXPECT_EQ(d.values.Out2, -99);
    EXPECT_EQ(d.log.last(),
              "Erreur extraction BRS getall :'4.5' n'est pas une valeur entière correcte");
    EXPECT_EQ(d.buffer, "4.5/40/1/2/0/3/3/1/1/2**");
}

// A field ending in a line feed used to convert as if the line feed were not there.
TEST_F(DewFrame, LineFeedInAFieldFailsItsConversion) {
    const struct {
        QByteArray frame;
        QString error;
    } cases[] = {
        {"##21.5\n/20.75/18.0/65.2/11.43/40/40/40/1/2/0/3/3/1/1/2**",
         "'21.5\n' n'est pas une valeur en virgule flottante correcte"},
        {"##21.5/20.75/18.0/65.2/11.43/40\n/40/40/1/2/0/3/3/1/1/2**",
         "'40\n' n'est pas une valeur entière correcte"},
    };
    for (const auto& c : cases) {
        d.buffer.clear();
        EXPECT_FALSE(d.Receive(c.frame)) << c.frame.constData();
        EXPECT_EQ(d.log.last(), "Erreur extraction BRS getall :" + c.error);
    }
}

TEST_F(DewFrame, SlashBeforeTheStartMakesFieldOneEmptyAndFailsAgainEachTime) {
    const QByteArray frame = "x/##21.5/20.75/18.0/65.2/11.43/40/40/40/1/2/0/3/3/1/1/2**";
    d.values = Marked();
    EXPECT_FALSE(d.Receive(frame));
    EXPECT_EQ(
        d.log.last(),
        "Erreur extraction BRS getall :'' n'est pas une valeur en virgule flottante correcte");
    EXPECT_EQ(d.buffer, frame);
    EXPECT_EQ(d.values.LocTemp1, -99);
    EXPECT_FALSE(d.Receive(QByteArray()));
    EXPECT_TRUE(d.log.last().startsWith("Erreur extraction BRS getall :"));
}

TEST_F(DewFrame, WrongFieldCountFailsAtTheLastField) {
    d.values = Marked();
    EXPECT_FALSE(d.Receive("##1/2/3/4/5/6/7/8/9/10/11/12/13/14/15**"));
    EXPECT_EQ(d.values.ThrT2, 13);
    EXPECT_EQ(d.values.Automode, 14);
    EXPECT_EQ(d.values.OutsLinked, -99); // no "/" left: the field is empty
    EXPECT_EQ(d.log.last(),
              "Erreur extraction BRS getall :'' n'est pas une valeur entière correcte");

    d.buffer.clear();
    EXPECT_FALSE(d.Receive("##1/2/3/4/5/6/7/8/9/10/11/12/13/14/15/16/17**"));
    EXPECT_EQ(d.values.OutsLinked, 15);
    EXPECT_EQ(d.log.last(),
              "Erreur extraction BRS getall :'16/17' n'est pas une valeur entière correcte");
}

// Runs only in the process that CTest starts with LC_ALL=fr_FR.UTF-8.
class DewCommaLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(DecimalSeparator(), QChar(',')) << "run with LC_ALL=fr_FR.UTF-8";
    }
    Dew d;
};

TEST_F(DewCommaLocale, PointFrameParsesAndShowsCommas) {
    EXPECT_TRUE(d.Receive(kFrame));
    EXPECT_EQ(d.values.LocTemp1, 21.5);
    EXPECT_EQ(DewDisplayTexts(d.values).locTemp1, QStringLiteral("22,5 °C"));
}

TEST_F(DewCommaLocale, CommaFrameParsesAndShowsCommas) {
    EXPECT_TRUE(d.Receive("##21,5/20,75/18,0/65,2/11,43/40/40/40/1/2/0/3/3/1/1/2**"));
    EXPECT_EQ(d.values.LocTemp2, 20.75);
    EXPECT_EQ(d.values.Dewpoint, 11.43);
    const DewTexts t = DewDisplayTexts(d.values);
    EXPECT_EQ(t.locTemp1, QStringLiteral("22,5 °C"));
    EXPECT_EQ(t.humidity, QStringLiteral("65,2 %"));
    EXPECT_EQ(t.dewpoint, QStringLiteral("11,43 °C"));
}
