// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings window of the dew controller: shows what the last poll stored, sends settings.
#include <QCoroTask>
#include <QWidget>

class TDewController;
class TDewView;

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;

class TFormBRS : public QWidget {
  public:
    TFormBRS(TDewController& dew, TDewView& main, QWidget* parent = nullptr);

    // Fills the controls from the stored state of the last poll; reads nothing.
    void ButtonReadValuesClick();
    // Edit handlers: enable a Save button and explain the setting.
    void SpinEditCalClick();
    void SpinEditThr1Exit();
    void CheckBoxAutoClick();
    void CheckBoxLinkOutsClick();
    void ComboBoxAggressivityChange();
    // Save buttons: send the group's settings to the controller and discard its answer.
    void ButtonSaveCalValuesClick();
    void ButtonSaveThrValuesClick();
    void ButtonSaveOutValuesClick();
    // "Reset All": the controller back to its factory settings, then a refresh.
    void ButtonResetClick();

    QGroupBox* GroupBoxCalibration;
    QLabel* LabelCalTemp1;
    QLabel* LabelCalTemp2;
    QLabel* LabelTempAmb;
    QLabel* LabelCalTemp1Value;
    QLabel* LabelCalTemp2Value;
    QLabel* LabelCalTempAmbValue;
    QSpinBox* SpinEditCalT1;
    QSpinBox* SpinEditCalT2;
    QSpinBox* SpinEditCalTa;
    QPushButton* ButtonSaveCalValues;
    QGroupBox* GroupBoxThresholds;
    QLabel* Label5;
    QLabel* Label4;
    QLabel* Label2;
    QLabel* Label1;
    QSpinBox* SpinEditThr1;
    QSpinBox* SpinEditThr2;
    QPushButton* ButtonSaveThrValues;
    QGroupBox* GroupBoxOutputs;
    QCheckBox* CheckBoxAuto;
    QLabel* LabelAggressivity;
    QComboBox* ComboBoxAggressivity;
    QCheckBox* CheckBoxLinkOuts;
    QPushButton* ButtonSaveOutValues;
    QPushButton* ButtonReadValues;
    QPushButton* ButtonReset;
    QLabel* LabelHelp;
    QLabel* LabelFirmware;
    QLabel* LabelFirmwareValue;

  private:
    // The item the aggressivity box shows, typed or chosen; -1 when its text is no item.
    int AggressivityItem() const;
    // Disables a Save button and empties the help; false when the link is closed.
    bool StartSave(QPushButton* save);
    QCoro::Task<> Reset();
    // Save and Reset are offered only while the controller is free.
    void ShowBusy();

    TDewController& dew_;
    TDewView& main_;
};
