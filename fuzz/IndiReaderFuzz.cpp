// SPDX-License-Identifier: GPL-3.0-or-later
// One INDI client's stream fed to the reader in the reads of one connection, with small bounds
// so that short inputs reach them. However the stream is cut into reads, the same commands come
// out and the stream breaks or not alike: the reader is checked against itself fed in one read.
#include "FuzzInput.h"
#include "Reader.h"

namespace {

constexpr qsizetype kMaxRead = 64; // small reads, so that tokens are cut between them
const indi::ReaderLimits kLimits{512, 2, 6, 8};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    indi::TReader pieces(kLimits);
    QList<indi::Command> commands;
    QByteArray whole;
    ForEachRead(data, size, kMaxRead, [&](const std::optional<QByteArray>& read) {
        if (read) whole += *read;
        if (!read || pieces.Broken()) return true; // a connection has no empty read
        const qsizetype before = commands.size();
        const bool open = pieces.Feed(*read, commands);
        Check(open == !pieces.Broken(), "Feed and Broken disagree");
        Check(open || pieces.Error().size() > 0, "broken without a reason");
        if (!open) Check(!pieces.Feed("<getProperties/>", commands), "a broken stream reopened");
        Check(commands.size() >= before, "commands lost");
        return true;
    });
    // Qt's reader may wait for the next character before it judges the last one: a last read
    // that ends any text lets both readers judge everything.
    const QByteArray last = "<!---->";
    whole += last;
    if (!pieces.Broken()) pieces.Feed(last, commands);
    for (const indi::Command& c : commands) {
        Check(c.members.size() <= kLimits.members, "more members than the bound");
        Check(c.type != indi::Command::Type::GetProperties || c.members.isEmpty(),
              "getProperties with members");
    }

    indi::TReader once(kLimits);
    QList<indi::Command> onceCommands;
    once.Feed(whole, onceCommands);
    Check(once.Broken() == pieces.Broken(), "breaks only when cut into reads, or only when not");
    // Once broken, the reader may have read a little further in one read than in pieces.
    Check(onceCommands.size() == commands.size() || pieces.Broken(), "other commands in one read");
    for (qsizetype i = 0; i < std::min(commands.size(), onceCommands.size()); ++i)
        Check(onceCommands[i] == commands[i], "another command in one read");
    return 0;
}
