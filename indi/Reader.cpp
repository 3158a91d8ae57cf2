// SPDX-License-Identifier: GPL-3.0-or-later
#include "Reader.h"

#include <utility>

namespace indi {

namespace {

// The stream has no root element, which XML wants: the reader is handed one of its own first,
// never closed, and every top-level element of the stream becomes a child of it.
const QString kRoot = QStringLiteral("<indi>");

struct Known {
    QLatin1StringView tag;
    Command::Type type;
    QLatin1StringView member; // the element of each member
};
const Known kCommands[] = {
    {QLatin1StringView("getProperties"), Command::Type::GetProperties, QLatin1StringView()},
    {QLatin1StringView("newTextVector"), Command::Type::NewText, QLatin1StringView("oneText")},
    {QLatin1StringView("newNumberVector"), Command::Type::NewNumber,
     QLatin1StringView("oneNumber")},
    {QLatin1StringView("newSwitchVector"), Command::Type::NewSwitch,
     QLatin1StringView("oneSwitch")},
};

const Known* FindCommand(QStringView tag) {
    for (const Known& k : kCommands)
        if (tag == k.tag) return &k;
    return nullptr;
}

// Where the last UTF-8 sequence of the bytes begins when it is still incomplete, or -1.
qsizetype IncompleteTail(const QByteArray& bytes) {
    const qsizetype size = bytes.size();
    for (qsizetype at = size - 1; at >= 0 && at >= size - 3; --at) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: its lead is further back
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return size - at < length ? at : -1;
    }
    return -1;
}

} // namespace

TReader::TReader(ReaderLimits limits) : limits_(limits) {
    // Names are taken as written: a prefix nobody declared is no error here.
    xml_.setNamespaceProcessing(false);
    xml_.addData(kRoot);
    fed_ = kRoot.size();
}

void TReader::Begin(QStringView text) {
    qsizetype at = 0;
    while (at < text.size() && QStringView(u" \t\r\n").contains(text[at]))
        ++at;
    if (at == text.size()) return;
    begun_ = true;
    if (text[at] == QChar('<')) return;
    // An HTTP request line begins with a method in capitals and a space.
    qsizetype end = at;
    while (end < text.size() && text[end] >= QChar('A') && text[end] <= QChar('Z'))
        ++end;
    const bool http = end > at && end < text.size() && text[end] == QChar(' ');
    Fail(http ? QStringLiteral("an HTTP request") : QStringLiteral("text outside elements"));
}

void TReader::Fail(const QString& why) {
    if (error_.isEmpty()) error_ = why;
}

bool TReader::Feed(const QByteArray& bytes, QList<Command>& commands) {
    if (Broken()) return false;
    // A character cut between two reads waits for its end; Qt's decoder, fed in pieces, may
    // replace bad bytes otherwise than it does fed the same bytes at once.
    QByteArray whole = held_ + bytes;
    const qsizetype tail = IncompleteTail(whole);
    held_ = tail < 0 ? QByteArray() : whole.mid(tail);
    if (tail >= 0) whole.truncate(tail);
    QString text = QString::fromUtf8(whole);
    if (!begun_) {
        // A stream may open with an XML declaration, as some clients' libraries write one; it
        // belongs before a root element, and this reader has already given its own.
        text.prepend(std::exchange(opening_, {}));
        const QStringView start = QStringView(text).trimmed();
        const QStringView declaration = u"<?xml";
        if (!start.isEmpty() && start.size() < declaration.size() &&
            declaration.startsWith(start)) {
            opening_ = text; // too little to tell yet
            return true;
        }
        if (start.startsWith(declaration)) {
            const qsizetype end = text.indexOf(QLatin1String("?>"));
            if (end < 0) {
                if (text.size() > limits_.elementChars)
                    Fail(QStringLiteral("an XML declaration longer than %1 characters")
                             .arg(limits_.elementChars));
                else
                    opening_ = text;
                return !Broken();
            }
            text.remove(0, end + 2);
        }
        Begin(text);
    }
    if (Broken()) return false;
    fed_ += text.size();
    xml_.addData(text);
    while (!Broken()) {
        const QXmlStreamReader::TokenType token = xml_.readNext();
        // Measured before the token moves the boundary: an end tag can be long too.
        if (xml_.characterOffset() - boundary_ > limits_.elementChars) break;
        switch (token) {
        case QXmlStreamReader::Invalid:
            // Premature end: the rest of the element has not arrived yet.
            if (xml_.error() != QXmlStreamReader::PrematureEndOfDocumentError)
                Fail(QStringLiteral("malformed XML at character %1: %2")
                         .arg(xml_.characterOffset() - kRoot.size())
                         .arg(xml_.errorString()));
            break;
        case QXmlStreamReader::StartElement:
            StartElement(commands);
            break;
        case QXmlStreamReader::EndElement:
            EndElement(commands);
            break;
        case QXmlStreamReader::Characters:
            if (inMember_) member_.value += xml_.text();
            // A stream is elements only: text around them is another protocol's (a browser's
            // form posted here), and what it carries is not to be run.
            if (depth_ == 1 && !xml_.isWhitespace()) Fail(QStringLiteral("text outside elements"));
            break;
        case QXmlStreamReader::DTD:
            // Its entities could grow a short element without bound.
            Fail(QStringLiteral("a document type declaration"));
            break;
        case QXmlStreamReader::EntityReference:
            Fail(QStringLiteral("unknown entity '%1'").arg(xml_.name()));
            break;
        default:
            break;
        }
        if (token == QXmlStreamReader::Invalid) break;
        // Text and comments between elements end where the next element begins.
        if (depth_ == 1) boundary_ = xml_.characterOffset();
    }
    // Whatever waits unread belongs to the element being read.
    if (fed_ - boundary_ > limits_.elementChars)
        Fail(QStringLiteral("an element longer than %1 characters").arg(limits_.elementChars));
    return !Broken();
}

void TReader::StartElement(QList<Command>&) {
    ++depth_;
    const QXmlStreamAttributes attributes = xml_.attributes();
    if (attributes.size() > limits_.attributes) {
        Fail(QStringLiteral("<%1> with more than %2 attributes")
                 .arg(xml_.name())
                 .arg(limits_.attributes));
        return;
    }
    if (depth_ - 1 > limits_.depth) {
        Fail(QStringLiteral("<%1> nested deeper than %2 levels")
                 .arg(xml_.name())
                 .arg(limits_.depth));
        return;
    }
    if (depth_ == 2) {
        const Known* known = FindCommand(xml_.name());
        taking_ = known != nullptr;
        if (!known) return;
        command_ = Command{};
        command_.type = known->type;
        command_.device = attributes.value(QLatin1StringView("device")).toString();
        command_.name = attributes.value(QLatin1StringView("name")).toString();
        command_.version = attributes.value(QLatin1StringView("version")).toString();
        commandTag_ = known->tag;
        memberTag_ = known->member;
    } else if (depth_ == 3 && taking_ && !memberTag_.isEmpty() && xml_.name() == memberTag_) {
        if (command_.members.size() >= limits_.members) {
            Fail(QStringLiteral("<%1> with more than %2 members")
                     .arg(commandTag_)
                     .arg(limits_.members));
            return;
        }
        inMember_ = true;
        member_ = Command::Member{attributes.value(QLatin1StringView("name")).toString(), {}};
    }
}

void TReader::EndElement(QList<Command>& commands) {
    if (depth_ == 1) {
        Fail(QStringLiteral("</%1> closes no element").arg(xml_.name()));
        return;
    }
    if (depth_ == 3 && inMember_) {
        if (command_.type != Command::Type::NewText) member_.value = member_.value.trimmed();
        command_.members.append(std::move(member_));
        member_ = {};
        inMember_ = false;
    } else if (depth_ == 2) {
        if (taking_) commands.append(std::move(command_));
        command_ = {};
        taking_ = false;
        boundary_ = xml_.characterOffset();
    }
    --depth_;
}

} // namespace indi
