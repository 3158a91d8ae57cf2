// SPDX-License-Identifier: GPL-3.0-or-later
#include "BRSForm.h"

#include "Controls.h"
#include "DewController.h"
#include "DewView.h"
#include "ErrorReport.h"
#include "Failure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

using look::Make;

namespace {
QGroupBox* Group(QWidget* parent, const char* name, int l, int t, int w, int h,
                 const QString& title) {
    return look::Group(parent, name, l, t, w, h, title, 12, look::Teal);
}
QLabel* Caption(QWidget* parent, const char* name, int left, int top, const QString& text) {
    return look::Label(parent, name, left, top, text, 16, false, look::Teal);
}
// Spin edits lie at this left and width, over the blanks of their "+       °C" frame.
constexpr int kSpinLeft = 101;
constexpr int kSpinWidth = 32;
QLabel* Frame(QWidget* parent, const char* name, int left, int top) {
    const QString blanks = QStringLiteral("+       ");
    QLabel* label =
        look::Label(parent, name, left, top, blanks + QStringLiteral("°C"), 16, true, look::Teal);
    // Fonts whose blanks are narrower than the spin edit would hide "°C" beneath it: widen them.
    QFont font = label->font();
    const int missing =
        kSpinLeft + kSpinWidth + 1 - left - label->fontMetrics().horizontalAdvance(blanks);
    if (missing > 0) {
        font.setWordSpacing(missing); // added once to the run of blanks, the one word gap
        label->setFont(font);
    }
    return label;
}
QSpinBox* Spin(QWidget* parent, const char* name, int top, const QString& caption) {
    auto* spin = Make<QSpinBox>(parent, name, kSpinLeft, top, kSpinWidth, 22);
    spin->setAccessibleName(caption);
    spin->setRange(0, 9);
    spin->setValue(0);
    spin->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    return spin;
}
QPushButton* Save(QWidget* parent, const char* name, int left, int top) {
    return look::Captioned<QPushButton>(parent, name, left, top, 105, 17, QStringLiteral("Save"));
}
QCheckBox* LeftCaptioned(QWidget* parent, const char* name, int l, int t, int w, int h,
                         const QString& text) {
    auto* box = look::Captioned<QCheckBox>(parent, name, l, t, w, h, text);
    box->setLayoutDirection(Qt::RightToLeft); // caption left of the box
    box->setAccessibleName(text);
    look::Style(box, 16, false, look::Teal);
    return box;
}
} // namespace

TFormBRS::TFormBRS(TDewController& dew, TDewView& main, QWidget* parent)
    : QWidget(parent, Qt::Window), dew_(dew), main_(main) {
    setObjectName(QStringLiteral("FormBRS"));
    setWindowTitle(QStringLiteral("Brisella Manager v0.1"));
    setFixedSize(273, 361); // client area of a 281 x 388 window
    look::Style(this, 11);

    QGroupBox* cal = GroupBoxCalibration =
        Group(this, "GroupBoxCalibration", 0, -1, 161, 114, QStringLiteral("Calibration"));
    LabelCalTemp1 = Caption(cal, "LabelCalTemp1", 8, 16, QStringLiteral("Temp 1"));
    LabelCalTemp2 = Caption(cal, "LabelCalTemp2", 8, 41, QStringLiteral("Temp 2"));
    LabelTempAmb = Caption(cal, "LabelTempAmb", 8, 65, QStringLiteral("T. ambiant"));
    LabelCalTemp1Value = Frame(cal, "LabelCalTemp1Value", 89, 16);
    LabelCalTemp2Value = Frame(cal, "LabelCalTemp2Value", 89, 40);
    LabelCalTempAmbValue = Frame(cal, "LabelCalTempAmbValue", 89, 64);
    SpinEditCalT1 = Spin(cal, "SpinEditCalT1", 15, QStringLiteral("Calibration Temp 1"));
    SpinEditCalT2 = Spin(cal, "SpinEditCalT2", 39, QStringLiteral("Calibration Temp 2"));
    SpinEditCalTa = Spin(cal, "SpinEditCalTa", 63, QStringLiteral("Calibration T. ambiant"));
    ButtonSaveCalValues = Save(cal, "ButtonSaveCalValues", 32, 91);

    QGroupBox* thr = GroupBoxThresholds =
        Group(this, "GroupBoxThresholds", 0, 113, 161, 88, QStringLiteral("Thresholds"));
    Label5 = Caption(thr, "Label5", 8, 16, QStringLiteral("Temp 1"));
    Label4 = Caption(thr, "Label4", 8, 41, QStringLiteral("Temp 2"));
    Label2 = Frame(thr, "Label2", 89, 16);
    Label1 = Frame(thr, "Label1", 89, 40);
    SpinEditThr1 = Spin(thr, "SpinEditThr1", 15, QStringLiteral("Threshold Temp 1"));
    SpinEditThr2 = Spin(thr, "SpinEditThr2", 39, QStringLiteral("Threshold Temp 2"));
    ButtonSaveThrValues = Save(thr, "ButtonSaveThrValues", 32, 65);

    QGroupBox* outs = GroupBoxOutputs =
        Group(this, "GroupBoxOutputs", 0, 200, 161, 105, QStringLiteral("Outputs"));
    CheckBoxAuto = LeftCaptioned(outs, "CheckBoxAuto", 6, 16, 144, 17, QStringLiteral("Auto mode"));
    LabelAggressivity = Caption(outs, "LabelAggressivity", 8, 36, QStringLiteral("Aggressivity"));
    ComboBoxAggressivity = Make<QComboBox>(outs, "ComboBoxAggressivity", 112, 36, 41, 21);
    ComboBoxAggressivity->setEditable(true);
    ComboBoxAggressivity->setInsertPolicy(QComboBox::NoInsert); // typed text never becomes an item
    ComboBoxAggressivity->setAccessibleName(QStringLiteral("Aggressivity"));
    ComboBoxAggressivity->addItems(
        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("10")});
    ComboBoxAggressivity->setCurrentIndex(-1);
    CheckBoxLinkOuts =
        LeftCaptioned(outs, "CheckBoxLinkOuts", 5, 59, 145, 20, QStringLiteral("Link Out2 - Out3"));
    ButtonSaveOutValues = Save(outs, "ButtonSaveOutValues", 32, 83);

    ButtonReadValues = look::Captioned<QPushButton>(this, "ButtonReadValues", 0, 308, 113, 17,
                                                    QStringLiteral("REFRESH"));
    look::Style(ButtonReadValues, 11, true, look::Black);
    ButtonReset = look::Captioned<QPushButton>(this, "ButtonReset", 112, 308, 49, 17,
                                               QStringLiteral("Reset All"));
    LabelHelp = Make<QLabel>(this, "LabelHelp", 168, 125, 97, 177);
    LabelHelp->setText(QStringLiteral("Click REFRESH button to read Brisella settings"));
    LabelHelp->setWordWrap(true);
    LabelHelp->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    look::Style(LabelHelp, 11, false, look::Navy);
    LabelFirmware = look::Label(this, "LabelFirmware", 161, 345, QStringLiteral("Firmware v."), 13);
    LabelFirmwareValue =
        look::Label(this, "LabelFirmwareValue", 234, 345, QStringLiteral("..."), 13);
    SpinEditCalT1->setFocus();

    for (QSpinBox* spin : {SpinEditCalT1, SpinEditCalT2, SpinEditCalTa})
        connect(spin, &QSpinBox::valueChanged, this, GuardedSlot([this] { SpinEditCalClick(); }));
    for (QSpinBox* spin : {SpinEditThr1, SpinEditThr2})
        connect(spin, &QSpinBox::valueChanged, this, GuardedSlot([this] { SpinEditThr1Exit(); }));
    connect(CheckBoxAuto, &QCheckBox::toggled, this, GuardedSlot([this] { CheckBoxAutoClick(); }));
    connect(CheckBoxLinkOuts, &QCheckBox::toggled, this,
            GuardedSlot([this] { CheckBoxLinkOutsClick(); }));
    // The text changes whether an item is chosen or a value typed.
    connect(ComboBoxAggressivity, &QComboBox::currentTextChanged, this,
            GuardedSlot([this] { ComboBoxAggressivityChange(); }));
    connect(ButtonReadValues, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonReadValuesClick(); }));
    connect(ButtonSaveCalValues, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonSaveCalValuesClick(); }));
    connect(ButtonSaveThrValues, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonSaveThrValuesClick(); }));
    connect(ButtonSaveOutValues, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonSaveOutValuesClick(); }));
    connect(ButtonReset, &QPushButton::clicked, this, GuardedSlot([this] { ButtonResetClick(); }));
    connect(&dew_, &TDevice::BusyChanged, this, [this] { ShowBusy(); });
}

void TFormBRS::ShowBusy() {
    const bool busy = dew_.Busy();
    ButtonReset->setEnabled(!busy);
    for (QPushButton* save : {ButtonSaveCalValues, ButtonSaveThrValues, ButtonSaveOutValues}) {
        if (busy && save->isEnabled()) {
            save->setEnabled(false);
            save->setProperty("offered", true);
        } else if (!busy && save->property("offered").toBool()) {
            save->setProperty("offered", false);
            save->setEnabled(true);
        }
    }
}

void TFormBRS::ButtonReadValuesClick() {
    const DewValues& v = dew_.Values;
    dew_.Log(QStringLiteral("Read values :%1 %2 %3 %4")
                 .arg(dew_.FirmwareVersion)
                 .arg(v.CalT1)
                 .arg(v.Automode)
                 .arg(v.ThrT1));
    SpinEditCalT1->setValue(v.CalT1); // the spin edits clamp to 0..9
    SpinEditCalT2->setValue(v.CalT2);
    SpinEditCalTa->setValue(v.CalTA);
    SpinEditThr1->setValue(v.ThrT1);
    SpinEditThr2->setValue(v.ThrT2);
    CheckBoxAuto->setChecked(false);
    if (v.Automode == 1) {
        CheckBoxAuto->setChecked(true);
        for (int output = 1; output <= 3; ++output)
            main_.SetSliderEnabled(output, false);
        main_.ShowAutoMode(true);
        if (v.OutsLinked == 0) main_.SetSliderEnabled(3, true);
    } else {
        main_.ShowAutoMode(false);
    }
    ComboBoxAggressivity->setCurrentIndex(v.Aggressive >= 1 && v.Aggressive <= 4 ? v.Aggressive - 1
                                                                                 : 3);
    CheckBoxLinkOuts->setChecked(false);
    if (v.OutsLinked == 1) {
        CheckBoxLinkOuts->setChecked(true);
        main_.SetSliderEnabled(3, false);
    }
    LabelFirmwareValue->setText(QString::number(dew_.FirmwareVersion));
    for (QPushButton* save : {ButtonSaveCalValues, ButtonSaveThrValues, ButtonSaveOutValues}) {
        save->setEnabled(false);
        save->setProperty("offered", false);
    }
    LabelHelp->clear();
}

void TFormBRS::SpinEditCalClick() {
    ButtonSaveCalValues->setEnabled(true);
    LabelHelp->setText(
        QStringLiteral("calibrates temp1, temp2 and Temp ambiante values by adding 0 to 9 °C"));
}

void TFormBRS::SpinEditThr1Exit() {
    ButtonSaveThrValues->setEnabled(true);
    LabelHelp->setText(
        QStringLiteral("Thresholds are used when Auto mode is enabled. Brisella keeps : Temp1 + "
                       "Calibration1 > Dewpoint + Threshold T1 and same with Temp2"));
}

void TFormBRS::ComboBoxAggressivityChange() {
    ButtonSaveOutValues->setEnabled(true);
    LabelHelp->setText(
        QStringLiteral("Aggressivity is used when Auto mode is enabled. It is the increment and "
                       "decrement values. 1°C means 0 "
                       "to 100% in 5 minutes, 2°C in 2.5 mn, 5°C in 1mn and 10% in 30 seconds."));
}

void TFormBRS::CheckBoxLinkOutsClick() {
    ButtonSaveOutValues->setEnabled(true);
    if (CheckBoxLinkOuts->isChecked()) {
        main_.SetSliderEnabled(3, false);
        LabelHelp->setText(
            QStringLiteral("Outputs 2 and 3 are now linked, powering output2 will power output3 "
                           "automatically and with same value, in both manual or automatic modes"));
    } else {
        main_.SetSliderEnabled(3, true);
        LabelHelp->setText(QStringLiteral("Outputs 2 and 3 are now independant"));
    }
}

void TFormBRS::CheckBoxAutoClick() {
    ButtonSaveOutValues->setEnabled(true);
    if (CheckBoxAuto->isChecked()) {
        main_.SetSliderEnabled(1, false);
        main_.SetSliderEnabled(2, false);
        if (CheckBoxLinkOuts->isChecked())
            main_.SetSliderEnabled(3, false);
        else
            CheckBoxLinkOuts->setEnabled(true);
        LabelHelp->setText(QStringLiteral(
            "Automatic mode enabled. Brisella will try to keep : Temp1 + Calibration "
            "T1 > Dewpoint + Threshold T1, same with Temp2"));
    } else {
        main_.SetSliderEnabled(1, true);
        main_.SetSliderEnabled(2, true);
        main_.SetSliderEnabled(3, !CheckBoxLinkOuts->isChecked());
        CheckBoxLinkOuts->setEnabled(true);
        LabelHelp->setText(QStringLiteral("Manual mode enabled"));
    }
}

int TFormBRS::AggressivityItem() const {
    return ComboBoxAggressivity->findText(ComboBoxAggressivity->currentText(), Qt::MatchExactly);
}

bool TFormBRS::StartSave(QPushButton* save) {
    save->setEnabled(false);
    LabelHelp->clear();
    return dew_.Connected();
}

// The Save handlers let write and read failures go to the default error report once the
// exchange has ended: the user clicked and sees the box; their button stays disabled.
void TFormBRS::ButtonSaveCalValuesClick() {
    if (!StartSave(ButtonSaveCalValues)) return;
    Launch(
        dew_.SaveCalibration(SpinEditCalT1->text(), SpinEditCalT2->text(), SpinEditCalTa->text()));
}

void TFormBRS::ButtonSaveThrValuesClick() {
    if (!StartSave(ButtonSaveThrValues)) return;
    Launch(dew_.SaveThresholds(SpinEditThr1->text(), SpinEditThr2->text()));
}

void TFormBRS::ButtonSaveOutValuesClick() {
    if (!StartSave(ButtonSaveOutValues)) return;
    const bool automatic = CheckBoxAuto->isChecked();
    main_.ShowAutoMode(automatic);
    Launch(dew_.SaveOutputs(CheckBoxLinkOuts->isChecked(), automatic, AggressivityItem()));
}

void TFormBRS::ButtonResetClick() {
    if (!dew_.Connected()) return;
    Launch(Reset());
}

QCoro::Task<> TFormBRS::Reset() {
    try {
        co_await dew_.Reset();
    } catch (const TCancelled&) {
        throw;
    } catch (const Failure& e) {
        dew_.Log(QStringLiteral("Erreur écriture ComPortBRS SEERAZ :") + e.Message());
        co_return;
    }
    ButtonReadValuesClick();
}
