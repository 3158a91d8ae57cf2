// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two simplest accessories: the Morvessa panels unit, which only tells who it is, and a
// device that never answers anything (a port with something else behind it).
#include "SimDevice.h"

// Answer of the panels unit to "SWHOIS".
inline constexpr char kPanelsIdentification[] = "PANPRI\r";

class TSimPanels final : public TSimDevice {
  public:
    TSimPanels();
    ~TSimPanels() override;

  protected:
    void OnCommand(const std::string& command, Clock::time_point now) override;
    Clock::time_point Advance(Clock::time_point now) override;
};

class TSimSilent final : public TSimDevice {
  public:
    TSimSilent();
    ~TSimSilent() override;

  protected:
    void OnCommand(const std::string&, Clock::time_point) override {}
    Clock::time_point Advance(Clock::time_point now) override;
};
