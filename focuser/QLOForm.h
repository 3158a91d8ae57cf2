// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings window of the focusers: serves focuser 1 or focuser 2, chosen by its radio buttons.
#include "Focuser.h"

#include <QCoroTask>
#include <QWidget>

class TFocuserView;

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TFormQLO : public QWidget {
  public:
    TFormQLO(TFocuser& focuser1, TFocuser& focuser2, TFocuserView& main, QWidget* parent = nullptr);

    // A focuser's link has just opened (its compensation flag is cleared by then): it may be
    // selected again, and the compensation button and move buttons show that it is off.
    void FocuserConnected(int number);

    // Handlers. They work on the selected focuser and do nothing when none is selected. Failures
    // of Button_SendClick, and a settings reply that does not decode (Button_GetvaluesClick and
    // what runs it), are raised for the default error report; the rest are logged.
    void Button_GetvaluesClick();
    void Button_SendClick();
    void Button_ResetClick();
    // Move by the step count in ComboMove's text: a whole number from 0 to 65535, else nothing
    // is sent and the debug log says why. They start the move and return.
    void ButtonMoveInClick();
    void ButtonMoveOutClick();
    void ButtonTempCompClick();
    void RadioButtonFocuser1Click();
    void RadioButtonFocuser2Click();
    // Moves the selected focuser to target, measured from its last known position; targets
    // outside 1..65499 are ignored.
    void moveto(int target);

    // The moves of the handlers above as tasks that end when the move has ended (the phone page
    // answers then): steps is the move box's text.
    QCoro::Task<> Move(bool in, QString steps);
    QCoro::Task<> GoTo(int target);

    QRadioButton* RadioButtonFocuser1;
    QRadioButton* RadioButtonFocuser2;
    QPushButton* ButtonMoveIn;
    QComboBox* ComboMove;
    QPushButton* ButtonMoveOut;
    QLabel* LabelMove;
    QPushButton* Button_Getvalues;
    QLabel* LabelSpeed;
    QComboBox* ComboBoxSpeed;
    QPushButton* Button_Send;
    QLabel* LabelRotation;
    QCheckBox* CheckBoxRotation;
    QPushButton* ButtonTempComp;
    QLabel* LabelHalfStep;
    QCheckBox* CheckBoxHalfStep;
    QPushButton* Button_Reset;
    QLabel* LabelMaxPosition;
    QLineEdit* EditMaxPosition;
    QLabel* LabelMaxPos;
    QLabel* LabelCompCoef;
    QLineEdit* EditCompCoef;
    QLabel* LabelCompCoefSign;
    QCheckBox* CheckBoxSignCoeff;
    QLabel* LabelCompThreshold;
    QLineEdit* EditCompThreshold;
    QLabel* Label1;
    QLabel* LabelFirmware;
    QLabel* LabelFirmwareValue;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Connect();
    // The checked radio button's focuser, or none.
    TFocuser* Selected() const;
    QCoro::Task<> GetValues(TFocuser& focuser, bool reset);
    QCoro::Task<> Save(TFocuser& focuser, TFocuserSettingsInput settings);
    // A move of the handlers or the phone; it ends when the move has ended or was refused.
    QCoro::Task<> Run(TFocuser& focuser, focuser::TMoveAsk ask);
    // Shows the settings read field by field; raises at a field that does not decode.
    void ShowSettings(const TFocuser::SettingsRead& read);
    void SetMoveButtons(bool enabled);
    // The exchange buttons wait while the selected focuser is busy; the move buttons also
    // while its compensation runs.
    void ShowBusy();
    // Caption of ButtonTempComp and the move buttons as the focuser's compensation flag says.
    void ShowTempCompOf(const TFocuser& focuser);
    void Select(TFocuser& focuser);
    // Enter: a focused push button takes it, anywhere else it saves.
    void EnterPressed();

    TFocuser& focuser1_;
    TFocuser& focuser2_;
    TFocuserView& main_;
};
