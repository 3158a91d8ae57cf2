// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimPanels.h"

namespace {
// Nothing changes by itself in these devices; the thread only waits for commands.
constexpr auto kIdle = std::chrono::seconds(1);
} // namespace

TSimPanels::TSimPanels() : TSimDevice("panels", false) {
    Start();
}

TSimPanels::~TSimPanels() {
    Stop();
}

void TSimPanels::OnCommand(const std::string& command, Clock::time_point now) {
    if (command == "SWHOIS") Reply(kPanelsIdentification, now);
}

TSimPanels::Clock::time_point TSimPanels::Advance(Clock::time_point now) {
    return now + kIdle;
}

TSimSilent::TSimSilent() : TSimDevice("silent", false) {
    Start();
}

TSimSilent::~TSimSilent() {
    Stop();
}

TSimSilent::Clock::time_point TSimSilent::Advance(Clock::time_point now) {
    return now + kIdle;
}
