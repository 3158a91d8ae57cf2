// SPDX-License-Identifier: GPL-3.0-or-later
// What the focuser settings window does: it reads its controls, starts the selected focuser's
// exchanges and shows what the focuser reports. A handler starts its exchange and returns; the
// exchange shows its result when it ends, and the window's exchange buttons wait for it.
#include "Commands.h"
#include "Convert.h"
#include "ErrorReport.h"
#include "Failure.h"
#include "Focuser.h"
#include "FocuserView.h"
#include "QLOForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

using focuser::SettingsField;

namespace {
const QString kStartTempComp = QStringLiteral("Start t° comp");
const QString kStopTempComp = QStringLiteral("Stop t° comp");
// Go-to targets are taken from 1 up to here, not including it.
constexpr int kGoToLimit = 65500;
} // namespace

TFocuser* TFormQLO::Selected() const {
    if (RadioButtonFocuser1->isChecked()) return &focuser1_;
    if (RadioButtonFocuser2->isChecked()) return &focuser2_;
    return nullptr;
}

void TFormQLO::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Each showing reads the values again; a window restored by the desktop is no new showing.
    if (!event->spontaneous()) Guarded([this] { Button_GetvaluesClick(); });
}

// ---- Read values ----

void TFormQLO::ShowSettings(const TFocuser::SettingsRead& read) {
    if (read.sign) CheckBoxSignCoeff->setChecked(*read.sign);
    focuser::DecodeSettings(read.reply, [this](SettingsField field, int value) {
        switch (field) {
        case SettingsField::Rotation:
            CheckBoxRotation->setChecked(value >= 1);
            break;
        case SettingsField::HalfSteps:
            CheckBoxHalfStep->setChecked(value >= 1);
            break;
        case SettingsField::Speed:
            if (const int item = focuser::SpeedItem(value); item >= 0)
                ComboBoxSpeed->setCurrentIndex(item);
            break;
        case SettingsField::Coefficient:
            EditCompCoef->setText(QString::number(value));
            break;
        case SettingsField::Threshold:
            EditCompThreshold->setText(QString::number(value));
            break;
        case SettingsField::Firmware:
            LabelFirmwareValue->setText(QString::number(value));
            CheckBoxSignCoeff->setEnabled(value >= focuser::kSignFirmware);
            break;
        case SettingsField::MaxPosition:
            EditMaxPosition->setText(QString::number(value));
            break;
        }
    });
}

QCoro::Task<> TFormQLO::GetValues(TFocuser& f, bool reset) {
    // Each co_await in a statement of its own: GCC 12 miscompiles one inside a conditional.
    TFocuser::SettingsRead read;
    if (reset)
        read = co_await f.ResetSettings();
    else
        read = co_await f.ReadSettings();
    // Another focuser chosen meanwhile shows its own values; these are only logged.
    if (Selected() == &f) ShowSettings(read);
    f.Log(FromDevice(read.reply));
}

void TFormQLO::Button_GetvaluesClick() {
    if (TFocuser* f = Selected()) Launch(GetValues(*f, false));
}

// ---- Save values, Reset all ----

void TFormQLO::Button_SendClick() {
    // Failures are not caught: the sequence stops at the failing step and the error is
    // reported; the empty line is then not logged.
    TFocuser* f = Selected();
    if (f && (f == &focuser1_ || f->Connected())) {
        TFocuserSettingsInput settings;
        // Typed text names an item only when it is that item's text.
        settings.speedItem = ComboBoxSpeed->findText(ComboBoxSpeed->currentText());
        settings.reversed = CheckBoxRotation->isChecked();
        settings.halfSteps = CheckBoxHalfStep->isChecked();
        settings.maxPosition = EditMaxPosition->text();
        settings.coefficient = EditCompCoef->text();
        settings.sign = CheckBoxSignCoeff->isChecked(); // also while the box is disabled
        settings.threshold = EditCompThreshold->text();
        Launch(Save(*f, settings));
        return;
    }
    focuser1_.Log(QString());
}

QCoro::Task<> TFormQLO::Save(TFocuser& f, TFocuserSettingsInput settings) {
    co_await f.SaveSettings(settings);
    focuser1_.Log(QString());
}

void TFormQLO::Button_ResetClick() {
    if (TFocuser* f = Selected()) Launch(GetValues(*f, true));
}

// ---- Moves ----

void TFormQLO::SetMoveButtons(bool enabled) {
    ButtonMoveOut->setEnabled(enabled);
    ButtonMoveIn->setEnabled(enabled);
}

QCoro::Task<> TFormQLO::Move(bool in, QString text) {
    TFocuser* f = Selected();
    if (!f) co_return;
    const std::optional<int> steps = focuser::MoveSteps(text);
    if (!steps) {
        // Nothing is sent: a count the focuser would misread is no move.
        f->Log(QStringLiteral("Erreur valeur ") + f->Link().objectName() +
               (in ? QStringLiteral(" MoveIn :") : QStringLiteral(" MoveOut :")) +
               QStringLiteral("'%1' is not a number of steps from 0 to %2")
                   .arg(text)
                   .arg(focuser::kMaxMoveSteps));
        co_return;
    }
    co_await Run(*f, focuser::TMoveAsk::By(in, *steps));
}

QCoro::Task<> TFormQLO::Run(TFocuser& f, focuser::TMoveAsk ask) {
    try {
        co_await f.Move(ask);
    } catch (const TCancelled&) {
        // Disconnect All or the program's end: nothing to show.
    } catch (const Failure&) {
        // A refused or failed move is in the debug log already; it is no reason for a box.
    }
}

void TFormQLO::ButtonMoveInClick() {
    Launch(Move(true, ComboMove->currentText()));
}

void TFormQLO::ButtonMoveOutClick() {
    Launch(Move(false, ComboMove->currentText()));
}

QCoro::Task<> TFormQLO::GoTo(int target) {
    TFocuser* f = Selected();
    if (!f || target <= 0 || target >= kGoToLimit) co_return;
    // The box shows the distance from the focuser's last reading; the focuser measures again
    // when the move had to wait behind another.
    const int position = f->Position;
    if (target == position && !f->Busy()) co_return;
    ComboMove->setCurrentText(QString::number(std::abs(target - position)));
    co_await Run(*f, focuser::TMoveAsk::To(target));
}

void TFormQLO::moveto(int target) {
    Launch(GoTo(target));
}

// ---- Temperature compensation ----

void TFormQLO::ShowTempCompOf(const TFocuser& focuser) {
    ButtonTempComp->setText(focuser.TempComp ? kStopTempComp : kStartTempComp);
    ShowBusy();
}

void TFormQLO::ShowBusy() {
    const TFocuser* f = Selected();
    const bool free = !f || !f->Busy();
    for (QPushButton* button : {Button_Getvalues, Button_Send, Button_Reset, ButtonTempComp})
        button->setEnabled(free);
    SetMoveButtons(free && !(f && f->TempComp));
}

void TFormQLO::ButtonTempCompClick() {
    TFocuser* f = Selected();
    if (!f) return;
    const bool start = !f->TempComp;
    main_.ShowTempComp(f->Number(), start);
    Launch(f->SetTempComp(start));
}

// ---- Selection ----

void TFormQLO::Select(TFocuser& focuser) {
    ComboMove->setCurrentIndex(0);
    ComboBoxSpeed->setCurrentIndex(0);
    for (QCheckBox* box : {CheckBoxRotation, CheckBoxHalfStep, CheckBoxSignCoeff})
        box->setChecked(false);
    for (QLineEdit* edit : {EditMaxPosition, EditCompCoef, EditCompThreshold})
        edit->clear();
    LabelFirmwareValue->clear();
    ShowTempCompOf(focuser);
    Button_GetvaluesClick();
}

void TFormQLO::RadioButtonFocuser1Click() {
    Select(focuser1_);
}

void TFormQLO::RadioButtonFocuser2Click() {
    Select(focuser2_);
}

void TFormQLO::EnterPressed() {
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && button != Button_Send && button->isEnabled())
        button->click();
    else
        Button_SendClick();
}
