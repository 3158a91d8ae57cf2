// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The phone page's focuser: focuser 1's readings, and the moves of the focuser settings window
// (its step box and its Move IN / Move OUT / go-to), so that a phone moves the focuser exactly
// as the window's buttons do.
#include "RemoteFocuser.h"

class TFocuser;
class TFormQLO;

class TFocuserRemote : public TRemoteFocuser {
  public:
    TFocuserRemote(const TFocuser& focuser1, TFormQLO& window)
        : focuser1_(focuser1), window_(window) {}

    int Position() const override;
    double Temperature() const override;
    QCoro::Task<> MoveIn(int steps) override;
    QCoro::Task<> MoveOut(int steps) override;
    QCoro::Task<> MoveTo(int target) override;

  private:
    const TFocuser& focuser1_;
    TFormQLO& window_;
};
