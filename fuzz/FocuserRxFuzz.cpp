// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser's receive step fed one link's reads in turn, as the device feeds it.
#include "FuzzInput.h"
#include "Telemetry.h"

namespace {
constexpr qsizetype kMaxRead = 80; // the most one notification reads from the link
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FocuserRx rx;
    const LogSink log = [](const QString&) {};
    int refreshed = 0;
    const FocuserRefresh refresh = [&refreshed](const FocuserRx&, FocuserValue) { ++refreshed; };
    ForEachRead(data, size, kMaxRead, [&](const std::optional<QByteArray>& chunk) {
        const int before = refreshed;
        const int count = ReceiveFocuserChunk(rx, chunk, QStringLiteral("QLO"), log, refresh);
        Check(count >= 0 && count <= 2 && count == refreshed - before,
              "refreshes reported are not the refreshes run");
        // A line is handled whole and a buffer without one is dropped past the limit, so
        // nothing more than the limit is kept between reads.
        Check(rx.buffer.size() <= kFocuserRxLimit, "receive buffer past its limit");
        return true;
    });
    return 0;
}
