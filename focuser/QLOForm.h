#pragma once
// Settings window of the focusers: serves focuser 1 or focuser 2, chosen by its radio buttons.
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TFormQLO : public QWidget {
  public:
    explicit TFormQLO(QWidget* parent = nullptr);

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

    // Temperature compensation started from this window and not stopped since.
    bool TempCompFocuser1 = false;
    bool TempCompFocuser2 = false;
};
