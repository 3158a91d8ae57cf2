// SPDX-License-Identifier: GPL-3.0-or-later
#include "QLOForm.h"

#include "Controls.h"
#include "ErrorReport.h"
#include "Focuser.h"
#include "FocuserView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

using look::Captioned;
using look::Make;

namespace {
QLabel* Setting(QWidget* parent, const char* name, int left, int top, const QString& text) {
    return look::Label(parent, name, left, top, text, 16, false, look::Teal);
}
} // namespace

TFormQLO::TFormQLO(TFocuser& focuser1, TFocuser& focuser2, TFocuserView& main, QWidget* parent)
    : QWidget(parent, Qt::Window), focuser1_(focuser1), focuser2_(focuser2), main_(main) {
    setObjectName(QStringLiteral("FormQLO"));
    setWindowTitle(QStringLiteral("Quillo Manager"));
    setFixedSize(267, 376); // client area of a 275 x 403 window
    look::Style(this, 11);
    RadioButtonFocuser1 = Captioned<QRadioButton>(this, "RadioButtonFocuser1", 48, 12, 113, 25,
                                                  QStringLiteral("Focuser 1"));
    RadioButtonFocuser2 = Captioned<QRadioButton>(this, "RadioButtonFocuser2", 152, 12, 113, 25,
                                                  QStringLiteral("Focuser 2"));
    ButtonMoveIn =
        Captioned<QPushButton>(this, "ButtonMoveIn", 16, 60, 57, 25, QStringLiteral("Move IN"));
    ComboMove = Make<QComboBox>(this, "ComboMove", 88, 60, 73, 21);
    ComboMove->setEditable(true);
    // Typed counts are used, never added to the list.
    ComboMove->setInsertPolicy(QComboBox::NoInsert);
    ComboMove->addItems({QStringLiteral(" "), QStringLiteral("10"), QStringLiteral("100"),
                         QStringLiteral("1000"), QStringLiteral("10000")});
    ComboMove->setCurrentIndex(-1);
    ButtonMoveOut =
        Captioned<QPushButton>(this, "ButtonMoveOut", 176, 60, 65, 25, QStringLiteral("Move OUT"));
    LabelMove = look::Label(this, "LabelMove", 88, 84, QStringLiteral("from 0 to 65535"), 11);
    // The left-hand buttons are as wide as their captions need at this font.
    Button_Getvalues = Captioned<QPushButton>(this, "Button_Getvalues", 7, 116, 69, 25,
                                              QStringLiteral("Read values"));
    LabelSpeed = Setting(this, "LabelSpeed", 80, 116, QStringLiteral("Speed"));
    // Wide enough for "UltraSlow" beside the arrow at its font.
    ComboBoxSpeed = Make<QComboBox>(this, "ComboBoxSpeed", 178, 116, 86, 24);
    ComboBoxSpeed->setEditable(true);
    ComboBoxSpeed->setInsertPolicy(QComboBox::NoInsert);
    look::Style(ComboBoxSpeed, 13);
    Button_Send =
        Captioned<QPushButton>(this, "Button_Send", 7, 150, 69, 25, QStringLiteral("Save values"));
    Button_Send->setDefault(true);
    LabelRotation = Setting(this, "LabelRotation", 80, 148, QStringLiteral("Revert rotation"));
    CheckBoxRotation = Make<QCheckBox>(this, "CheckBoxRotation", 208, 148, 17, 17);
    // Wide enough for its first caption, which has a leading blank.
    ButtonTempComp = Captioned<QPushButton>(this, "ButtonTempComp", 8, 184, 71, 25,
                                            QStringLiteral(" Start t° comp"));
    LabelHalfStep = Setting(this, "LabelHalfStep", 80, 180, QStringLiteral("Half steps"));
    CheckBoxHalfStep = Make<QCheckBox>(this, "CheckBoxHalfStep", 208, 180, 17, 25);
    Button_Reset =
        Captioned<QPushButton>(this, "Button_Reset", 8, 218, 57, 25, QStringLiteral("Reset all"));
    LabelMaxPosition = Setting(this, "LabelMaxPosition", 80, 212, QStringLiteral("Max position"));
    EditMaxPosition = Make<QLineEdit>(this, "EditMaxPosition", 184, 212, 65, 21);
    // The range captions end just inside the window's right edge.
    LabelMaxPos =
        look::Label(this, "LabelMaxPos", 157, 236, QStringLiteral("from 0 to 65535 steps"), 11);
    LabelCompCoef = Setting(this, "LabelCompCoef", 40, 258, QStringLiteral("Coefficient Steps/°"));
    EditCompCoef = Make<QLineEdit>(this, "EditCompCoef", 184, 258, 65, 21);
    LabelCompCoefSign =
        Setting(this, "LabelCompCoefSign", 61, 282, QStringLiteral("Coefficient sign"));
    CheckBoxSignCoeff = Make<QCheckBox>(this, "CheckBoxSignCoeff", 208, 279, 17, 25);
    CheckBoxSignCoeff->setEnabled(false);
    LabelCompThreshold =
        Setting(this, "LabelCompThreshold", 16, 306, QStringLiteral("Temp comp threshold"));
    EditCompThreshold = Make<QLineEdit>(this, "EditCompThreshold", 184, 306, 65, 21);
    Label1 = look::Label(this, "Label1", 169, 330, QStringLiteral("from 0 to 999 steps"), 11);
    LabelFirmware = look::Label(this, "LabelFirmware", 152, 358, QStringLiteral("Firmware v."), 13);
    LabelFirmwareValue =
        look::Label(this, "LabelFirmwareValue", 225, 358, QStringLiteral("..."), 13);
    // Edit boxes above the labels that frame them.
    for (QWidget* w : std::initializer_list<QWidget*>{
             EditMaxPosition, EditCompCoef, EditCompThreshold, ComboBoxSpeed, CheckBoxRotation,
             CheckBoxHalfStep, CheckBoxSignCoeff})
        w->raise();
    setTabOrder(EditMaxPosition, Button_Send);
    for (auto [a, b] : std::initializer_list<std::pair<QWidget*, QWidget*>>{
             {Button_Send, Button_Reset},
             {Button_Reset, ComboBoxSpeed},
             {ComboBoxSpeed, CheckBoxHalfStep},
             {CheckBoxHalfStep, CheckBoxRotation},
             {CheckBoxRotation, ButtonMoveIn},
             {ButtonMoveIn, ButtonMoveOut},
             {ButtonMoveOut, Button_Getvalues},
             {Button_Getvalues, EditCompCoef},
             {EditCompCoef, EditCompThreshold},
             {EditCompThreshold, ButtonTempComp},
             {ButtonTempComp, CheckBoxSignCoeff},
             {CheckBoxSignCoeff, ComboMove},
             {ComboMove, RadioButtonFocuser1},
             {RadioButtonFocuser1, RadioButtonFocuser2}})
        setTabOrder(a, b);
    // The captions beside the boxes name them for screen readers and tools.
    for (auto [control, label] : std::initializer_list<std::pair<QWidget*, QLabel*>>{
             {CheckBoxRotation, LabelRotation},
             {CheckBoxHalfStep, LabelHalfStep},
             {EditMaxPosition, LabelMaxPosition},
             {EditCompCoef, LabelCompCoef},
             {CheckBoxSignCoeff, LabelCompCoefSign},
             {EditCompThreshold, LabelCompThreshold},
             {ComboBoxSpeed, LabelSpeed}})
        control->setAccessibleName(label->text());
    ComboMove->setAccessibleName(QStringLiteral("Steps to move"));
    Connect();
}

void TFormQLO::Connect() {
    auto click = [this](QPushButton* button, void (TFormQLO::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                GuardedSlot([this, handler] { (this->*handler)(); }));
    };
    click(Button_Getvalues, &TFormQLO::Button_GetvaluesClick);
    click(Button_Send, &TFormQLO::Button_SendClick);
    click(Button_Reset, &TFormQLO::Button_ResetClick);
    click(ButtonMoveIn, &TFormQLO::ButtonMoveInClick);
    click(ButtonMoveOut, &TFormQLO::ButtonMoveOutClick);
    click(ButtonTempComp, &TFormQLO::ButtonTempCompClick);
    // A selection handler runs when its button becomes checked, by a click or by the main
    // window; clicking the button already checked changes nothing.
    auto select = [this](QRadioButton* button, void (TFormQLO::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked) Guarded([this, handler] { (this->*handler)(); });
        });
    };
    select(RadioButtonFocuser1, &TFormQLO::RadioButtonFocuser1Click);
    select(RadioButtonFocuser2, &TFormQLO::RadioButtonFocuser2Click);
    for (TFocuser* f : {&focuser1_, &focuser2_}) {
        auto shown = [this, f] {
            if (Selected() == f) ShowTempCompOf(*f);
        };
        connect(f, &TDevice::BusyChanged, this, shown);
        connect(f, &TFocuser::TempCompChanged, this, shown);
    }
    // Save values is the default button. A shortcut takes Enter before the focused control
    // sees it, so an editable list never adds the text as an item as well.
    // Key_Enter also matches the keypad's Enter.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), this);
        enter->setContext(Qt::WindowShortcut);
        connect(enter, &QShortcut::activated, this, GuardedSlot([this] { EnterPressed(); }));
    }
}

void TFormQLO::FocuserConnected(int number) {
    TFocuser& focuser = number == 1 ? focuser1_ : focuser2_;
    (number == 1 ? RadioButtonFocuser1 : RadioButtonFocuser2)->setEnabled(true);
    // The caption follows the focuser served; with none chosen yet, focuser 1's.
    TFocuser* selected = Selected();
    if (selected == &focuser || (!selected && number == 1)) ShowTempCompOf(focuser);
}
