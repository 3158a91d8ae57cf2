// SPDX-License-Identifier: GPL-3.0-or-later
#include "Writer.h"

namespace indi {

namespace {

QLatin1StringView KindText(Kind kind) {
    switch (kind) {
    case Kind::Text:
        return QLatin1StringView("Text");
    case Kind::Number:
        return QLatin1StringView("Number");
    case Kind::Switch:
        return QLatin1StringView("Switch");
    case Kind::Light:
        break;
    }
    return QLatin1StringView("Light");
}

QLatin1StringView PermText(Perm perm) {
    switch (perm) {
    case Perm::ReadOnly:
        return QLatin1StringView("ro");
    case Perm::WriteOnly:
        return QLatin1StringView("wo");
    case Perm::ReadWrite:
        break;
    }
    return QLatin1StringView("rw");
}

QLatin1StringView RuleText(Rule rule) {
    switch (rule) {
    case Rule::OneOfMany:
        return QLatin1StringView("OneOfMany");
    case Rule::AtMostOne:
        return QLatin1StringView("AtMostOne");
    case Rule::AnyOfMany:
        break;
    }
    return QLatin1StringView("AnyOfMany");
}

// Escaped for text and double-quoted attributes; characters XML 1.0 cannot carry are dropped.
QString Escaped(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text)
        if (c.unicode() >= 0x20 || c == QChar('\t') || c == QChar('\n') || c == QChar('\r'))
            if (c.unicode() != 0xFFFE && c.unicode() != 0xFFFF) kept.append(c);
    return kept.toHtmlEscaped();
}

QString Number(double value) {
    return QString::number(value, 'g', 15);
}

class TElement {
  public:
    explicit TElement(const QString& tag) : tag_(tag) { out_ += QChar('<') + tag; }
    TElement& Attr(QLatin1StringView name, const QString& value) {
        out_ += QChar(' ') + name + QStringLiteral("=\"") + Escaped(value) + QChar('"');
        return *this;
    }
    QString& Out() { return out_; }
    // Closes the start tag; the content follows, then Close.
    void Open() { out_ += QChar('>'); }
    void Close() { out_ += QStringLiteral("</") + tag_ + QChar('>'); }

  private:
    QString tag_;
    QString out_;
};

QString MemberValue(Kind kind, const Element& e) {
    switch (kind) {
    case Kind::Text:
        return Escaped(e.text);
    case Kind::Number:
        return Number(e.number);
    case Kind::Switch:
        return e.on ? QStringLiteral("On") : QStringLiteral("Off");
    case Kind::Light:
        break;
    }
    return StateText(e.light);
}

QByteArray Write(const Vector& v, bool define, const QDateTime& when, const QString& message) {
    const QString tag = (define ? QStringLiteral("def") : QStringLiteral("set")) +
                        KindText(v.kind) + QStringLiteral("Vector");
    TElement vector{tag};
    vector.Attr(QLatin1StringView("device"), v.device).Attr(QLatin1StringView("name"), v.name);
    if (define)
        vector.Attr(QLatin1StringView("label"), v.label).Attr(QLatin1StringView("group"), v.group);
    vector.Attr(QLatin1StringView("state"), StateText(v.state));
    if (define && v.kind != Kind::Light) vector.Attr(QLatin1StringView("perm"), PermText(v.perm));
    if (define && v.kind == Kind::Switch) vector.Attr(QLatin1StringView("rule"), RuleText(v.rule));
    if (v.kind != Kind::Light) vector.Attr(QLatin1StringView("timeout"), Number(v.timeout));
    vector.Attr(QLatin1StringView("timestamp"), Timestamp(when));
    if (!message.isEmpty()) vector.Attr(QLatin1StringView("message"), message);
    vector.Open();
    const QString memberTag =
        (define ? QStringLiteral("def") : QStringLiteral("one")) + KindText(v.kind);
    for (const Element& e : v.elements) {
        TElement member{memberTag};
        member.Attr(QLatin1StringView("name"), e.name);
        if (define) member.Attr(QLatin1StringView("label"), e.label);
        if (define && v.kind == Kind::Number)
            member.Attr(QLatin1StringView("format"), e.format)
                .Attr(QLatin1StringView("min"), Number(e.min))
                .Attr(QLatin1StringView("max"), Number(e.max))
                .Attr(QLatin1StringView("step"), Number(e.step));
        member.Open();
        member.Out() += MemberValue(v.kind, e);
        member.Close();
        vector.Out() += QChar('\n') + member.Out();
    }
    vector.Out() += QChar('\n');
    vector.Close();
    return (vector.Out() + QChar('\n')).toUtf8();
}

} // namespace

QLatin1StringView StateText(State state) {
    switch (state) {
    case State::Idle:
        return QLatin1StringView("Idle");
    case State::Ok:
        return QLatin1StringView("Ok");
    case State::Busy:
        return QLatin1StringView("Busy");
    case State::Alert:
        break;
    }
    return QLatin1StringView("Alert");
}

QString Timestamp(const QDateTime& when) {
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QByteArray DefVector(const Vector& vector, const QDateTime& when, const QString& message) {
    return Write(vector, true, when, message);
}

QByteArray SetVector(const Vector& vector, const QDateTime& when, const QString& message) {
    return Write(vector, false, when, message);
}

QByteArray Message(const QString& device, const QString& text, const QDateTime& when) {
    TElement message{QStringLiteral("message")};
    message.Attr(QLatin1StringView("device"), device)
        .Attr(QLatin1StringView("timestamp"), Timestamp(when))
        .Attr(QLatin1StringView("message"), text);
    return (message.Out() + QStringLiteral("/>\n")).toUtf8();
}

QByteArray DelProperty(const QString& device, const QString& name, const QDateTime& when) {
    TElement del{QStringLiteral("delProperty")};
    del.Attr(QLatin1StringView("device"), device);
    if (!name.isEmpty()) del.Attr(QLatin1StringView("name"), name);
    del.Attr(QLatin1StringView("timestamp"), Timestamp(when));
    return (del.Out() + QStringLiteral("/>\n")).toUtf8();
}

} // namespace indi
