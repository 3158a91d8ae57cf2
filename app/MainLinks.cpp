// The main window's connect and close operations: one path for every device, with the few
// steps that differ per device around it.
#include "BRSForm.h"
#include "ComPort.h"
#include "DewController.h"
#include "Focuser.h"
#include "MainForm.h"
#include "Panels.h"
#include "PanelsForm.h"
#include "QLOForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

void TFormMain::Connect(Panel& panel, const QString& port) {
    panel.status->setText(QStringLiteral("connected ") + port);
    for (QPushButton* button : panel.buttons)
        button->setEnabled(true);
    panel.device->Greet();
}

bool TFormMain::ClosePort(Panel& panel) {
    if (!panel.device->Connected()) return false;
    // A failing close raises here: the panel and the rest of Disconnect All stay as they are.
    panel.device->Close();
    panel.status->setText(QStringLiteral("Disconnected"));
    for (QLabel* value : panel.values)
        value->clear();
    for (QPushButton* button : panel.buttons)
        button->setEnabled(false);
    return true;
}

// A pulled cable is shown, not hidden behind frozen readings; the link stays until Disconnect
// All, and the next Connect All finds the device again once it is back.
void TFormMain::LineLost(Panel& panel) {
    const QString port = panel.device->Link().Port();
    panel.status->setText(QStringLiteral("connection lost ") + port);
    LogNotifs(QStringLiteral("Connection lost: %1 on %2").arg(panel.title, port));
}

void TFormMain::ConnectQLO(const QString& port) {
    Connect(panelQLO_, port);
    FormQLO->FocuserConnected(1);
}

void TFormMain::ConnectQLO2(const QString& port) {
    Connect(panelQLO2_, port);
    FormQLO->FocuserConnected(2);
}

void TFormMain::ConnectBRS(const QString& port) {
    Connect(panelBRS_, port);
}

void TFormMain::ConnectPrimaryPanels(const QString& port) {
    Connect(panelPanels_, port);
}

void TFormMain::ClosePortQLO() {
    if (ClosePort(panelQLO_)) LogDebug(QLO->CloseLogLine());
    if (FormQLO->isVisible()) FormQLO->hide();
}

void TFormMain::ClosePortQLO2() {
    if (ClosePort(panelQLO2_)) LogDebug(QLO2->CloseLogLine());
    if (FormQLO->isVisible()) FormQLO->hide();
}

void TFormMain::ClosePortBRS() {
    if (ClosePort(panelBRS_)) {
        for (QProgressBar* bar : {ProgressBarOut1, ProgressBarOut2, ProgressBarOut3})
            bar->setValue(0);
        TrackBarBRS1->setValue(0); // its handler finds the link closed and sends nothing
        LogDebug(BRS->CloseLogLine());
    }
    if (FormBRS->isVisible()) FormBRS->hide();
}

void TFormMain::ClosePortPrimaryPanels() {
    if (ClosePort(panelPanels_)) LogDebug(PrimaryPanels->CloseLogLine());
    if (FormPanels->isVisible()) FormPanels->hide();
}
