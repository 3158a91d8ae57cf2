// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QCoroTask>
// What the control page shows and does: focuser 1's last readings, and moves through the focuser
// settings window (the move box's text, then its Move IN / Move OUT handlers, or its go-to).
class TRemoteFocuser {
  public:
    virtual ~TRemoteFocuser() = default;
    virtual int Position() const = 0;       // QLOPosition
    virtual double Temperature() const = 0; // QLOTemp
    // The task ends when the move has ended (or was refused or failed). Steps and targets are
    // whole numbers from 0 to 65535.
    virtual QCoro::Task<> MoveIn(int steps) = 0; // ComboMove's text, then ButtonMoveInClick
    virtual QCoro::Task<> MoveOut(int steps) = 0;
    virtual QCoro::Task<> MoveTo(int target) = 0; // moveto
};
