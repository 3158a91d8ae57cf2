// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts and slider positions that the display routine (setValues) shows for the readings.
#include "Frame.h"

#include <QString>

// "21.5 °C": general number format with the regional separator.
QString TemperatureText(double celsius);

// The texts of the dew controller's value labels, calibration offsets applied.
struct DewTexts {
    QString locTemp1; // LabelBRSLocTemp1Value: BRSCalT1 + BRSLocTemp1, "22.5 °C"
    QString locTemp2; // LabelBRSLocTemp2Value
    QString humidity; // LabelBRSHumidityValue: "65.2 %"
    QString ambTemp;  // LabelBRSAmbTempValue
    QString dewpoint; // LabelBRSDewpointValue: two decimals, "11.43 °C"
    QString out1;     // LabelBRSOut1Value: "40 %"
    QString out2;
    QString out3;
};
DewTexts DewDisplayTexts(const DewValues& values);

// Position of an output slider (0 to 10) for an output power: tenths, remainder dropped.
int OutputSliderPosition(int power);

inline const QString kAutoModeText = QStringLiteral("Auto mode activated");
