#pragma once
#include <QString>
// What the control page shows and does: focuser 1's last readings, and moves through the focuser
// settings window (the move box's text, then its Move IN / Move OUT handlers, or its go-to).
class TRemoteFocuser {
  public:
    virtual ~TRemoteFocuser() = default;
    virtual int Position() const = 0;              // QLOPosition
    virtual double Temperature() const = 0;        // QLOTemp
    virtual void MoveIn(const QString& steps) = 0; // sets ComboMove's text, runs ButtonMoveInClick;
                                                   // returns after the move
    virtual void MoveOut(const QString& steps) = 0;
    virtual void MoveTo(int target) = 0; // moveto
};
