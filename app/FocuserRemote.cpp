// SPDX-License-Identifier: GPL-3.0-or-later
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

// The window's own moves, so that a phone moves the focuser exactly as its buttons do; each task
// ends when the move has ended.
QCoro::Task<> TFocuserRemote::MoveIn(int steps) {
    window_.ComboMove->setCurrentText(QString::number(steps)); // stays visible in the window
    return window_.Move(true, window_.ComboMove->currentText());
}

QCoro::Task<> TFocuserRemote::MoveOut(int steps) {
    window_.ComboMove->setCurrentText(QString::number(steps));
    return window_.Move(false, window_.ComboMove->currentText());
}

QCoro::Task<> TFocuserRemote::MoveTo(int target) {
    return window_.GoTo(target);
}
