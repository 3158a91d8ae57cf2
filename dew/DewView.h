// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the dew controller settings window changes in the main window: which output sliders the
// user may move, and the automatic mode label.
class TDewView {
  public:
    virtual ~TDewView() = default;
    // output: 1 to 3.
    virtual void SetSliderEnabled(int output, bool enabled) = 0;
    // "Auto mode activated", or nothing.
    virtual void ShowAutoMode(bool on) = 0;
};
