// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the focuser settings window shows in the main window, beside the focuser's readings.
class TFocuserView {
  public:
    virtual ~TFocuserView() = default;
    // "Temp comp activated" beside the focuser's readings, or nothing.
    virtual void ShowTempComp(int focuser, bool on) = 0;
};
