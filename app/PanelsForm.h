// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Information window of the mirror-cover panels unit; nothing is ever sent to the unit.
#include <QWidget>

class QLabel;
class QPushButton;

class TFormPanels : public QWidget {
  public:
    explicit TFormPanels(QWidget* parent = nullptr);

    QLabel* LabelFirmware;
    QLabel* LabelFirmwareValue;
    QPushButton* ButtonOpenPrimary;
    QPushButton* ButtonOpenSecondary;
};
