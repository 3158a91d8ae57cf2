#include "FocuserRemote.h"

#include "Focuser.h"
#include "QLOForm.h"

#include <QComboBox>

int TFocuserRemote::Position() const {
    return focuser1_.Position;
}

double TFocuserRemote::Temperature() const {
    return focuser1_.Temp;
}

QCoro::Task<> TFocuserRemote::MoveIn(int steps) {
    window_.ComboMove->setCurrentText(QString::number(steps)); // stays visible in the window
    window_.ButtonMoveInClick();
    co_return;
}

QCoro::Task<> TFocuserRemote::MoveOut(int steps) {
    window_.ComboMove->setCurrentText(QString::number(steps));
    window_.ButtonMoveOutClick();
    co_return;
}

QCoro::Task<> TFocuserRemote::MoveTo(int target) {
    window_.moveto(target);
    co_return;
}
