// SPDX-License-Identifier: GPL-3.0-or-later
#include "PanelsForm.h"

#include "Controls.h"

#include <QPushButton>

TFormPanels::TFormPanels(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FormPanels"));
    setWindowTitle(QStringLiteral("Morvessa Manager v0.1"));
    setFixedSize(267, 248); // client area of a 275 x 275 window
    look::Style(this, 11);
    LabelFirmware = look::Label(this, "LabelFirmware", 149, 232, QStringLiteral("Firmware v."), 11);
    LabelFirmwareValue =
        look::Label(this, "LabelFirmwareValue", 221, 232, QStringLiteral("..."), 11);
    ButtonOpenPrimary = look::Captioned<QPushButton>(this, "ButtonOpenPrimary", 88, 80, 105, 25,
                                                     QStringLiteral("Open primary"));
    ButtonOpenSecondary = look::Captioned<QPushButton>(this, "ButtonOpenSecondary", 88, 128, 105,
                                                       25, QStringLiteral("Open secondary"));
}
