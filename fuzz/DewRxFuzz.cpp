// SPDX-License-Identifier: GPL-3.0-or-later
// The dew controller's receive step fed one link's reads in turn, as the device feeds it.
#include "Frame.h"
#include "FuzzInput.h"

namespace {
constexpr qsizetype kMaxRead = 80; // the most one notification reads from the link
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray buffer;
    DewValues values;
    const LogSink log = [](const QString&) {};
    ForEachRead(data, size, kMaxRead, [&](const std::optional<QByteArray>& chunk) {
        const bool parsed = ReceiveDewChunk(buffer, chunk, values, log);
        Check(!parsed || buffer.isEmpty(), "a parsed frame left text in the buffer");
        Check(buffer.size() <= kDewRxLimit, "receive buffer past its limit");
        return true;
    });
    return 0;
}
