// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's display of every reading, its polls and receive handlers (thin calls on the
// devices), the dew controller's output sliders, and what the settings windows show here.
#include "DewController.h"
#include "Display.h"
#include "Failure.h"
#include "Focuser.h"
#include "MainForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>

void TFormMain::getValuesQLO() {
    QLO->Poll();
    QLO2->Poll();
}

void TFormMain::getValuesBRS() {
    BRS->Poll();
}

void TFormMain::QLOcharsReceived() {
    QLO->CharsReceived();
}

void TFormMain::QLO2charsReceived() {
    QLO2->CharsReceived();
}

void TFormMain::BRScharsReceived() {
    BRS->CharsReceived();
}

// Moves a slider as the user would, its change handler included, but calls the handler here
// so that its errors reach setValues instead of crossing Qt's signal machinery.
void TFormMain::MoveSlider(QSlider* slider, int position, void (TFormMain::*handler)()) {
    position = std::clamp(position, slider->minimum(), slider->maximum());
    if (slider->value() == position) return;
    {
        const QSignalBlocker quiet(slider);
        slider->setValue(position);
    }
    (this->*handler)();
}

void TFormMain::setValues() {
    try {
        LabelQLOPositionValue->setText(QString::number(QLO->Position));
        LabelQLOTempValue->setText(TemperatureText(QLO->Temp));
        LabelQLO2PositionValue->setText(QString::number(QLO2->Position));
        LabelQLO2TempValue->setText(TemperatureText(QLO2->Temp));

        const DewValues& v = BRS->Values;
        const DewTexts texts = DewDisplayTexts(v);
        LabelBRSLocTemp1Value->setText(texts.locTemp1);
        LabelBRSLocTemp2Value->setText(texts.locTemp2);
        LabelBRSHumidityValue->setText(texts.humidity);
        LabelBRSAmbTempValue->setText(texts.ambTemp);
        LabelBRSDewpointValue->setText(texts.dewpoint);
        LabelBRSOut1Value->setText(texts.out1);
        LabelBRSOut2Value->setText(texts.out2);
        LabelBRSOut3Value->setText(texts.out3);
        ProgressBarOut1->setValue(std::clamp(v.Out1, 0, 100));
        ProgressBarOut2->setValue(std::clamp(v.Out2, 0, 100));
        ProgressBarOut3->setValue(std::clamp(v.Out3, 0, 100));

        if (v.Automode == 1) {
            LabelAutomatic->setText(kAutoModeText);
            MoveSlider(TrackBarBRS1, OutputSliderPosition(v.Out1), &TFormMain::TrackBarBRS1Change);
            MoveSlider(TrackBarBRS2, OutputSliderPosition(v.Out2), &TFormMain::TrackBarBRS2Change);
            if (v.OutsLinked == 1)
                MoveSlider(TrackBarBRS3, OutputSliderPosition(v.Out3),
                           &TFormMain::TrackBarBRS3Change);
        } else if (v.OutsLinked == 1) {
            MoveSlider(TrackBarBRS3, TrackBarBRS2->value(), &TFormMain::TrackBarBRS3Change);
        }
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur transformation SetValues :") + e.Message());
    }
    updateGraphic();
}

void TFormMain::TrackBarBRS1Change() {
    BRS->SendOutput(1, TrackBarBRS1->value());
}
void TFormMain::TrackBarBRS2Change() {
    BRS->SendOutput(2, TrackBarBRS2->value());
}
void TFormMain::TrackBarBRS3Change() {
    BRS->SendOutput(3, TrackBarBRS3->value());
}

void TFormMain::ShowMoving(int focuser) {
    (focuser == 1 ? LabelQLOPositionValue : LabelQLO2PositionValue)
        ->setText(QStringLiteral("moving"));
}

void TFormMain::ShowTempComp(int focuser, bool on) {
    (focuser == 1 ? LabelTempComp : LabelTempComp2)
        ->setText(on ? QStringLiteral("Temp comp activated") : QString());
}

void TFormMain::SetSliderEnabled(int output, bool enabled) {
    QSlider* sliders[] = {TrackBarBRS1, TrackBarBRS2, TrackBarBRS3};
    sliders[output - 1]->setEnabled(enabled);
}

void TFormMain::ShowAutoMode(bool on) {
    LabelAutomatic->setText(on ? kAutoModeText : QString());
}
