// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of reading a client's stream, one table: what comes out of which bytes, read in
// which pieces, and what breaks the stream.
#include "Reader.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using indi::Command;

QString Describe(const Command& c) {
    static const char* types[] = {"get", "text", "number", "switch"};
    QString out =
        QLatin1StringView(types[int(c.type)]) + QChar(' ') + c.device + QChar('/') + c.name;
    if (!c.version.isEmpty()) out += QStringLiteral(" v") + c.version;
    for (const Command::Member& m : c.members)
        out += QChar(' ') + m.name + QChar('=') + QChar('[') + m.value + QChar(']');
    return out;
}

QList<QByteArray> Bytes(const QByteArray& whole) {
    QList<QByteArray> reads;
    for (char c : whole)
        reads.append(QByteArray(1, c));
    return reads;
}

struct Case {
    const char* rule;
    QList<QByteArray> reads;
    QStringList commands;
    bool broken = false;
    indi::ReaderLimits limits = {};
};

const QByteArray kMove =
    "<newNumberVector device='Quillo 1' name='ABS_FOCUS_POSITION' timestamp='2024-03-01T21:04:05'>"
    "\n  <oneNumber name='FOCUS_ABSOLUTE_POSITION'>\n500\n  </oneNumber>\n</newNumberVector>";
const QString kMoveText =
    QStringLiteral("number Quillo 1/ABS_FOCUS_POSITION FOCUS_ABSOLUTE_POSITION=[500]");
const indi::ReaderLimits kSmall{1024, 2, 4, 3};

std::vector<Case> Cases() {
    return {
        {"a bare getProperties asks for everything",
         {"<getProperties version='1.7'/>"},
         {"get / v1.7"}},
        {"getProperties may name a device and a property",
         {"<getProperties version=\"1.7\" device=\"Brisella\" name=\"WEATHER_PARAMETERS\"/>"},
         {"get Brisella/WEATHER_PARAMETERS v1.7"}},
        {"a command read one byte at a time", Bytes(kMove), {kMoveText}},
        {"two commands in one read, and one cut between two reads",
         {"<getProperties version='1.7'/>\n" + kMove.left(40), kMove.mid(40) + "\n\n"},
         {"get / v1.7", kMoveText}},
        {"switch members are trimmed, a vector keeps its members in order",
         {"<newSwitchVector device='Quillo 1' name='FOCUS_MOTION'><oneSwitch name='FOCUS_INWARD'> "
          "On </oneSwitch><oneSwitch name='FOCUS_OUTWARD'>Off</oneSwitch></newSwitchVector>"},
         {"switch Quillo 1/FOCUS_MOTION FOCUS_INWARD=[On] FOCUS_OUTWARD=[Off]"}},
        {"text members keep their spaces and lose their escapes",
         {"<newTextVector device='d' name='n'><oneText name='t'> &lt;a&gt; &amp; &#233; "
          "</oneText></newTextVector>"},
         {QStringLiteral("text d/n t=[ <a> & \u00e9 ]")}},
        {"a character cut between two reads",
         {"<newTextVector device='d' name='n'><oneText name='t'>\xc2", "\xb0</oneText>"
                                                                       "</newTextVector>"},
         {QStringLiteral("text d/n t=[\u00b0]")}},
        {"enableBLOB, pingReply and unknown elements are read and dropped",
         {"<enableBLOB device='d'>Never</enableBLOB><pingReply uid='1'/>"
          "<newBLOBVector device='d' name='b'><oneBLOB name='x' size='0' format='.z'/>"
          "</newBLOBVector><getProperties version='1.7'/>"},
         {"get / v1.7"}},
        {"an XML declaration may open the stream, in pieces",
         {"<?x", "ml version='1.0' encoding='UTF-8'?", ">\n<getProperties version='1.7'/>"},
         {"get / v1.7"}},
        {"comments between commands are no commands",
         {"<!-- hello --> \r\n<getProperties version='1.7'/>"},
         {"get / v1.7"}},
        {"stray text between commands breaks the stream before what follows",
         {"<getProperties version='1.7'/> stray <getProperties version='1.7'/>"},
         {"get / v1.7"},
         true},
        {"a form posted by a browser breaks the stream before its body",
         {"POST / HTTP/1.1\r\nHost: 127.0.0.1:7624\r\nContent-Type: text/plain\r\n\r\n" + kMove},
         {},
         true},
        {"text first breaks the stream at its first byte", Bytes("\nGET / HTTP/1.1\r\n"), {}, true},
        {"members of another kind inside a vector are dropped",
         {"<newNumberVector device='d' name='n'><oneSwitch name='s'>On</oneSwitch>"
          "<oneNumber name='x'>1</oneNumber></newNumberVector>"},
         {"number d/n x=[1]"}},
        {"an unfinished command is held until it ends", {kMove.left(kMove.size() - 1)}, {}},
        {"many small commands are no long element",
         {QByteArray("<getProperties version='1.7'/>").repeated(200)},
         QStringList(200, QStringLiteral("get / v1.7")),
         false,
         kSmall},
        {"a mismatched end tag breaks the stream after the commands before it",
         {"<getProperties version='1.7'/><newTextVector device='d' name='n'></newNumberVector>"},
         {"get / v1.7"},
         true},
        {"an end tag that closes nothing breaks the stream", {"</getProperties>"}, {}, true},
        {"an attribute without quotes breaks the stream",
         {"<getProperties version=1.7/>"},
         {},
         true},
        {"an unknown entity breaks the stream",
         {"<newTextVector device='d' name='n'><oneText name='t'>&bad;</oneText></newTextVector>"},
         {},
         true},
        {"a document type breaks the stream",
         {"<!DOCTYPE x [<!ENTITY a 'aaaa'>]><getProperties version='1.7'/>"},
         {},
         true},
        {"a NUL byte breaks the stream", {QByteArray("<getProperties\0/>", 17)}, {}, true},
        {"elements nested past a member break the stream",
         {"<newNumberVector device='d' name='n'><oneNumber name='x'><b/></oneNumber>"},
         {},
         true,
         kSmall},
        {"too many attributes break the stream",
         {"<getProperties a='1' b='2' c='3' d='4' e='5'/>"},
         {},
         true,
         kSmall},
        {"too many members break the stream",
         {"<newSwitchVector device='d' name='n'><oneSwitch name='a'>On</oneSwitch>"
          "<oneSwitch name='b'>On</oneSwitch><oneSwitch name='c'>On</oneSwitch>"
          "<oneSwitch name='d'>On</oneSwitch></newSwitchVector>"},
         {},
         true,
         kSmall},
        {"an element that never ends breaks the stream at its bound",
         QList<QByteArray>{"<newTextVector device='d' name='n'><oneText name='t'>"} +
             QList<QByteArray>(40, QByteArray(2000, 'a')),
         {},
         true},
        {"endless text between elements breaks the stream",
         QList<QByteArray>(40, QByteArray(2000, ' ')),
         {},
         true},
        {"an endless attribute breaks the stream",
         QList<QByteArray>{"<getProperties version='"} +
             QList<QByteArray>(40, QByteArray(2000, '1')),
         {},
         true},
    };
}

} // namespace

TEST(IndiReader, Rules) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.rule);
        indi::TReader reader(c.limits);
        QList<Command> commands;
        bool open = true;
        for (const QByteArray& read : c.reads)
            if (open) open = reader.Feed(read, commands);
        QStringList got;
        for (const Command& command : commands)
            got << Describe(command);
        EXPECT_EQ(got, c.commands);
        EXPECT_EQ(!open, c.broken) << reader.Error().toStdString();
        EXPECT_EQ(reader.Broken(), c.broken);
        if (!c.broken) continue;
        EXPECT_FALSE(reader.Error().isEmpty());
        // Nothing more is taken from a broken stream.
        QList<Command> after;
        EXPECT_FALSE(reader.Feed("<getProperties version='1.7'/>", after));
        EXPECT_TRUE(after.isEmpty());
    }
}

TEST(IndiReader, NumbersAndSwitches) {
    const struct {
        const char* text;
        bool ok;
        double value;
    } numbers[] = {
        {"500", true, 500},
        {" 1e3 ", true, 1000},
        {"-2.5", true, -2.5},
        {"12:30", true, 12.5},
        {"-1:30:36", true, -1.51},
        {"10 15", true, 10.25},
        {"1:-30", false, 0},
        {"1:2:3:4", false, 0},
        {"abc", false, 0},
        {"inf", false, 0},
        {"", false, 0},
        {"1,5", false, 0},
    };
    for (const auto& n : numbers) {
        double value = -7;
        EXPECT_EQ(indi::ParseNumber(QString::fromLatin1(n.text), value), n.ok) << n.text;
        if (n.ok) {
            EXPECT_NEAR(value, n.value, 1e-9) << n.text;
        }
    }
    const struct {
        const char* text;
        bool ok;
        bool on;
    } switches[] = {
        {"On", true, true}, {" Off ", true, false}, {"on", false, false}, {"1", false, false}};
    for (const auto& s : switches) {
        bool on = !s.on;
        EXPECT_EQ(indi::ParseSwitch(QString::fromLatin1(s.text), on), s.ok) << s.text;
        if (s.ok) {
            EXPECT_EQ(on, s.on) << s.text;
        }
    }
}
