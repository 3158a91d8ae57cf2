// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's connect and close operations: one path for every device, with the few
// steps that differ per device around it.
#include "BRSForm.h"
#include "ComPort.h"
#include "Convert.h"
#include "DewController.h"
#include "ErrorReport.h"
#include "Failure.h"
#include "Focuser.h"
#include "MainForm.h"
#include "Panels.h"
#include "PanelsForm.h"
#include "PortWatch.h"
#include "Probe.h"
#include "QLOForm.h"

#include <QTimer>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

void TFormMain::Connect(Panel& panel, const QString& port) {
    panel.status->setText(QStringLiteral("connected ") + port);
    // Its buttons wake once it is offered (Ready): greeted and polled.
    panel.device->Greet();
}

void TFormMain::Offer(Panel& panel) {
    for (QPushButton* button : panel.buttons)
        button->setEnabled(true);
}

bool TFormMain::ClosePort(Panel& panel) {
    if (!Present(panel)) return false;
    StopWatching(panel);
    // A failing close raises here: the panel and the rest of Disconnect All stay as they are.
    panel.device->Close();
    panel.status->setText(QStringLiteral("Disconnected"));
    for (QLabel* value : panel.values)
        value->clear();
    for (QPushButton* button : panel.buttons)
        button->setEnabled(false);
    return true;
}

bool TFormMain::Tracked(const Panel& panel) const {
    if (panel.device == PrimaryPanels) return true; // never polled
    return panel.device == BRS ? Tracking.ThreadedTimerBRS() != nullptr
                               : Tracking.ThreadedTimerQLO() != nullptr;
}

bool TFormMain::Present(const Panel& panel) {
    return panel.device->Connected() || panel.watch;
}

// A pulled cable is shown, not hidden behind frozen readings. The dead line is let go (once
// the exchange it cut short has seen the hang-up), so that the system may give the replugged
// device its port name back, and the port is watched until the device is back or Disconnect
// All.
void TFormMain::LineLost(Panel& panel) {
    const QString port = panel.device->Link().Port();
    panel.status->setText(QStringLiteral("connection lost ") + port);
    LogNotifs(QStringLiteral("Connection lost: %1 on %2").arg(panel.title, port));
    panel.watch = std::make_unique<TPortWatch>(port);
    panel.watch->OnBack = [this, &panel] { Launch(Reconnect(panel)); };
    QTimer::singleShot(0, this, [&panel] {
        if (panel.watch && panel.device->Link().HungUp()) panel.device->Release();
    });
}

void TFormMain::StopWatching(Panel& panel) {
    // A probe under way unwinds here, before its panel forgets it.
    if (panel.probe) panel.probe->Stop();
    panel.probe.reset();
    panel.watch.reset();
}

QCoro::Task<> TFormMain::Reconnect(Panel& panel) {
    const QString port = panel.watch->Port();
    panel.probe = std::make_unique<TPortProbe>(port);
    TPortProbe& probe = *panel.probe;
    co_await probe.Run();
    if (probe.Stopped || !panel.watch) co_return; // Disconnect All meanwhile
    const ProbeKinds kinds = RecogniseReply(FromDevice(probe.Reply));
    const bool answered = !probe.Error && !probe.Silent();
    panel.probe.reset();
    if (!answered || !panel.kind(kinds)) {
        LogNotifs(QStringLiteral("Not reconnected: %1 on %2 %3")
                      .arg(panel.title, port,
                           answered ? QStringLiteral("answers as another device")
                                    : QStringLiteral("does not answer")));
        panel.watch->Rearm();
        co_return;
    }
    panel.device->Release(); // the old line, if it was not let go yet
    try {
        panel.device->Open(port);
    } catch (const Failure& e) {
        LogDebug(panel.device->OpenErrorPrefix() + e.Message());
        LogNotifs(QStringLiteral("Not reconnected: %1 on %2 does not open").arg(panel.title, port));
        panel.watch->Rearm();
        co_return;
    }
    panel.watch.reset();
    (this->*panel.connect)(port);
    // Polled again at once, as at Connect All, unless tracking polls it anyway.
    if (!Tracked(panel)) panel.device->Poll();
    LogNotifs(QStringLiteral("Reconnected: %1 on %2").arg(panel.title, port));
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
