// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The vocabulary of the INDI protocol (version 1.7) as this server speaks it: the vectors it
// defines and sets, and the commands a client sends. Plain values, no sockets.
#include <QList>
#include <QString>

namespace indi {

inline constexpr const char* kProtocolVersion = "1.7";

enum class State { Idle, Ok, Busy, Alert };
enum class Perm { ReadOnly, WriteOnly, ReadWrite };
enum class Rule { OneOfMany, AtMostOne, AnyOfMany };
enum class Kind { Text, Number, Switch, Light };

// One member of a vector; the fields of its kind are used, the others are left alone.
struct Element {
    QString name;
    QString label;
    QString text;      // a text
    double number = 0; // a number, with its printf-style format and its range
    QString format = QStringLiteral("%g");
    double min = 0;
    double max = 0;
    double step = 0;
    bool on = false;           // a switch
    State light = State::Idle; // a light
};

// A number member with its printf-style format and its range.
Element NumberElement(const QString& name, const QString& label, const QString& format, double min,
                      double max, double step, double value = 0);

struct Vector {
    Kind kind = Kind::Text;
    QString device;
    QString name;
    QString label;
    QString group;
    State state = State::Idle;
    Perm perm = Perm::ReadOnly;
    Rule rule = Rule::OneOfMany; // switches only
    double timeout = 0;          // seconds a client may wait for an answer to a new value
    QList<Element> elements;

    Element* Find(const QString& element);
    const Element* Find(const QString& element) const;
};

// What a client asks. Members keep their text as sent; switch and number texts are trimmed.
struct Command {
    enum class Type { GetProperties, NewText, NewNumber, NewSwitch };
    struct Member {
        QString name;
        QString value;
        bool operator==(const Member&) const = default;
    };
    Type type = Type::GetProperties;
    QString device; // empty: every device (getProperties only)
    QString name;   // empty: every property of the device (getProperties only)
    QString version;
    QList<Member> members;
    bool operator==(const Command&) const = default;

    // The text sent for a member, or null when it was not sent.
    const QString* Value(const QString& member) const;
};

// The number of a member's text: decimal with a point, or sexagesimal ("12:30:36", "-1 30");
// false when it is neither.
bool ParseNumber(const QString& text, double& value);
// "On" / "Off" as the protocol writes them.
bool ParseSwitch(const QString& text, bool& on);

// A client's switch members applied to the vector as its rule says (one of many: the members
// sent are the whole choice). False, with why and the vector unchanged, when a member is unknown
// or not On/Off, or when the result breaks the rule.
bool ApplySwitches(Vector& vector, const Command& command, QString& why);

} // namespace indi
