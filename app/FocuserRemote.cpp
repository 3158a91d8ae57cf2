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

void TFocuserRemote::MoveIn(const QString& steps) {
    window_.ComboMove->setCurrentText(steps); // stays visible in the window afterwards
    window_.ButtonMoveInClick();
}

void TFocuserRemote::MoveOut(const QString& steps) {
    window_.ComboMove->setCurrentText(steps);
    window_.ButtonMoveOutClick();
}

void TFocuserRemote::MoveTo(int target) {
    window_.moveto(target);
}
