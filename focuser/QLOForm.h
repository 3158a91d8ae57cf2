#pragma once
// Settings window of the focusers: serves focuser 1 or focuser 2, chosen by its radio buttons.
#include <QWidget>

class TFocuser;
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

    // A focuser's link has just opened: it may be selected again; focuser 1 also resets the
    // compensation button's caption.
    void FocuserConnected(int number);

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

  private:
    TFocuser& focuser1_;
    TFocuser& focuser2_;
    TFocuserView& main_;
};
