// The main window's close operations of the device links.
#include "BRSForm.h"
#include "ComPort.h"
#include "Failure.h"
#include "MainForm.h"
#include "PanelsForm.h"
#include "QLOForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

namespace {
// A focuser is left in manual mode when its link closes; a failed write does not stop the close.
void LeaveManualMode(TFormMain* main, TComPort* link, const QString& prefix) {
    try {
        link->WriteText("FMMODE");
    } catch (const Failure& e) {
        main->LogDebug(prefix + e.Message());
    }
}
} // namespace

void TFormMain::ClosePortQLO() {
    if (ComPortQLO->Connected()) {
        LeaveManualMode(this, ComPortQLO, QStringLiteral("Erreur écriture ComPortQLO :"));
        ComPortQLO->Close();
        LabelPortStatusQLO->setText(QStringLiteral("Disconnected"));
        LabelQLOPositionValue->clear();
        LabelQLOTempValue->clear();
        LabelTempComp->clear();
        ButtonDetailsQLO->setEnabled(false);
        ButtonQLOWS->setEnabled(false);
        LogDebug(QStringLiteral("Close QLO Port"));
    }
    if (FormQLO->isVisible()) FormQLO->hide();
}

void TFormMain::ClosePortQLO2() {
    if (ComPortQLO2->Connected()) {
        LeaveManualMode(this, ComPortQLO2, QStringLiteral("Erreur écriture ComPortQLO2 :"));
        ComPortQLO2->Close();
        LabelPortStatusQLO2->setText(QStringLiteral("Disconnected"));
        LabelQLO2PositionValue->clear();
        LabelQLO2TempValue->clear();
        LabelTempComp2->clear();
        ButtonDetailsQLO2->setEnabled(false);
        LogDebug(QStringLiteral("Close QLO2 Port"));
    }
    if (FormQLO->isVisible()) FormQLO->hide();
}

void TFormMain::ClosePortBRS() {
    if (ComPortBRS->Connected()) {
        ComPortBRS->Close();
        LabelPortStatusBRS->setText(QStringLiteral("Disconnected"));
        for (QLabel* value : {LabelBRSLocTemp1Value, LabelBRSLocTemp2Value, LabelBRSDewpointValue,
                              LabelBRSHumidityValue, LabelBRSAmbTempValue, LabelBRSOut1Value,
                              LabelBRSOut2Value, LabelBRSOut3Value})
            value->clear();
        for (QProgressBar* bar : {ProgressBarOut1, ProgressBarOut2, ProgressBarOut3})
            bar->setValue(0);
        TrackBarBRS1->setValue(0); // its handler finds the link closed and sends nothing
        ButtonDetailsBRS->setEnabled(false);
        LogDebug(QStringLiteral("Close BRS Port"));
    }
    if (FormBRS->isVisible()) FormBRS->hide();
}

void TFormMain::ClosePortPrimaryPanels() {
    if (ComPortPrimaryPanels->Connected()) {
        ComPortPrimaryPanels->Close();
        LabelPortStatusPanels->setText(QStringLiteral("Disconnected"));
        LabelPanelsLeftValue->clear();
        LabelPanelRightValue->clear();
        ButtonDetailsPanels->setEnabled(false);
        LogDebug(QStringLiteral("Close Panels Port"));
    }
    if (FormPanels->isVisible()) FormPanels->hide();
}
