// What the focuser settings window does: it reads its controls, calls the selected focuser and
// shows what the focuser reports. Every exchange blocks the GUI thread until it ends.
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

QByteArray TFormQLO::AskSettingsQLO() {
    TFocuser& f = focuser1_;
    QByteArray reply;
    f.Log(QStringLiteral("QLOForm tx: ") + QLatin1String(focuser::kAskSign));
    try {
        reply = f.Ask(focuser::kAskSign);
        if (reply.size() < 3) {
            // No answer: the sign is taken as set.
            CheckBoxSignCoeff->setChecked(true);
            f.Log(QStringLiteral("QLOForm NOK rx:") + FromDevice(reply));
        } else {
            f.Log(QStringLiteral("QLOForm OK rx:") + FromDevice(reply));
            CheckBoxSignCoeff->setChecked(focuser::SignFlag(reply));
        }
    } catch (const Failure& e) {
        f.Log(QStringLiteral("Erreur écriture ComPortQLO [GetValues FTAXXA] :") + e.Message());
    }
    reply.clear();
    try {
        reply = f.Ask(focuser::kAskSettings);
    } catch (const Failure& e) {
        f.Log(QStringLiteral("Erreur écriture ComPortQLO [GetValues SGETAL] :") + e.Message());
    }
    return reply;
}

QByteArray TFormQLO::AskSettingsQLO2() {
    TFocuser& f = focuser2_;
    // One text for both replies: after a failure the settings are decoded from what was read
    // so far (a sign reply that did not convert, or nothing).
    QByteArray reply;
    try {
        reply = f.Ask(focuser::kAskSign);
        CheckBoxSignCoeff->setChecked(focuser::SignFlag(reply));
        reply.clear();
        reply = f.Ask(focuser::kAskSettings);
    } catch (const Failure& e) {
        f.Log(QStringLiteral("Erreur écriture ComPortQLO2 [GetValues] :") + e.Message());
    }
    return reply;
}

void TFormQLO::ShowSettings(const QByteArray& reply) {
    focuser::DecodeSettings(reply, [this](SettingsField field, int value) {
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

void TFormQLO::Button_GetvaluesClick() {
    TFocuser* f = Selected();
    if (!f) return;
    const QByteArray reply = f == &focuser1_ ? AskSettingsQLO() : AskSettingsQLO2();
    ShowSettings(reply);
    f->Log(FromDevice(reply));
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
        f->SaveSettings(settings);
    }
    focuser1_.Log(QString());
}

void TFormQLO::Button_ResetClick() {
    TFocuser* f = Selected();
    if (!f) return;
    try {
        f->Ask(focuser::kFactoryReset); // its answer is not used
    } catch (const Failure& e) {
        f->Log(QStringLiteral("Erreur écriture ") + f->Link().objectName() +
               QStringLiteral(" SEERAZ :") + e.Message());
    }
    Button_GetvaluesClick();
}

// ---- Moves ----

void TFormQLO::SetMoveButtons(bool enabled) {
    ButtonMoveOut->setEnabled(enabled);
    ButtonMoveIn->setEnabled(enabled);
}

void TFormQLO::Move(bool in) {
    SetMoveButtons(false);
    const QString steps = ComboMove->currentText();
    const QByteArray command = focuser::MoveCommand(in, steps);
    if (TFocuser* f = Selected()) {
        const QString link = f->Link().objectName();
        const QString what = in ? QStringLiteral(" MoveIn :") : QStringLiteral(" MoveOut :");
        const QString writeError =
            (in ? QStringLiteral("Erreur écriture ") : QStringLiteral("Erreur ecriture ")) + link +
            what;
        const QString readError = QStringLiteral("Erreur lecture ") + link + what;
        main_.ShowMoving(f->Number());
        const int limitMs = focuser::MoveWaitLimitMs(steps);
        switch (f->Move(command, limitMs, writeError, readError)) {
        case TFocuser::MoveEnd::Done:
            break;
        case TFocuser::MoveEnd::TimedOut:
            f->Log(QStringLiteral("Erreur fin de mouvement ") + link + what +
                   QStringLiteral("no \"*\" within %1 ms").arg(limitMs));
            break;
        case TFocuser::MoveEnd::LinkLost:
            f->Log(QStringLiteral("Erreur fin de mouvement ") + link + what +
                   QStringLiteral("link lost"));
            break;
        }
    }
    // Also while compensation runs (a move requested over the network).
    SetMoveButtons(true);
}

void TFormQLO::ButtonMoveInClick() {
    Move(true);
}

void TFormQLO::ButtonMoveOutClick() {
    Move(false);
}

void TFormQLO::moveto(int target) {
    if (target <= 0 || target >= kGoToLimit) return;
    // Measured from focuser 1 whichever focuser is served.
    const int position = focuser1_.Position;
    if (target < position) {
        ComboMove->setCurrentText(QString::number(position - target));
        ButtonMoveInClick();
    } else if (target > position) {
        ComboMove->setCurrentText(QString::number(target - position));
        ButtonMoveOutClick();
    }
}

// ---- Temperature compensation ----

void TFormQLO::ShowTempCompOf(const TFocuser& focuser) {
    ButtonTempComp->setText(focuser.TempComp ? kStopTempComp : kStartTempComp);
    SetMoveButtons(!focuser.TempComp);
}

void TFormQLO::ButtonTempCompClick() {
    TFocuser* f = Selected();
    if (!f) return;
    const bool start = !f->TempComp;
    SetMoveButtons(!start);
    ButtonTempComp->setText(start ? kStopTempComp : kStartTempComp);
    main_.ShowTempComp(f->Number(), start);
    const QString link = f->Link().objectName();
    const QString mode = start             ? QStringLiteral(" FAMode :")
                         : f == &focuser1_ ? QStringLiteral(" FMMode :")
                                           : QStringLiteral(" FMmode :");
    f->SetTempComp(start, QStringLiteral("Erreur ecriture ") + link + mode);
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
