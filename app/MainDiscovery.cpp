// Connect All / Disconnect All: finding the accessories on the serial ports, connecting them
// and starting and stopping the polling.
#include "ComPort.h"
#include "Convert.h"
#include "DewController.h"
#include "Failure.h"
#include "Focuser.h"
#include "HistoryChart.h"
#include "MainForm.h"
#include "Panels.h"
#include "PortList.h"
#include "Probe.h"

#include <QCheckBox>
#include <QPushButton>
#include <cerrno>

void TFormMain::ButtonLoadDevicesClick() {
    const bool focuserOpen = QLO->Connected() || QLO2->Connected();
    if (focuserOpen || BRS->Connected() || PrimaryPanels->Connected()) {
        if (focuserOpen) {
            Tracking.StopFocusers();
            LogNotifs(QStringLiteral("Stopped tracking Quillo"));
        }
        if (BRS->Connected()) {
            Tracking.StopDew();
            LogNotifs(QStringLiteral("Stopped tracking Brisella"));
        }
        if (QLO->Connected()) ClosePortQLO();
        if (QLO2->Connected()) ClosePortQLO2();
        if (BRS->Connected()) ClosePortBRS();
        if (PrimaryPanels->Connected()) ClosePortPrimaryPanels();
        if (ComPort->Connected()) ComPort->Close();
        ButtonLoadDevices->setText(QStringLiteral("Connect All"));
        return;
    }

    LogDebug(QStringLiteral("Detecting devices..."));
    EnumeratePorts();
    ChartQLO->Clear(0);
    ChartQLO->Clear(1);
    for (int series = 0; series < 4; ++series)
        ChartBRS->Clear(series);

    if (QLO->Connected() || QLO2->Connected()) {
        ButtonLoadDevices->setText(QStringLiteral("Disconnect All"));
        getValuesQLO();
        if (CheckBoxTrackAll->isChecked()) {
            LogDebug(QStringLiteral("Start tracking QLO.."));
            Tracking.StartFocusers([this] { getValuesQLO(); });
            QLO->AskPosition = true;
            QLO2->AskPosition = true;
            LogNotifs(QStringLiteral("Start tracking Quillo.."));
        }
    }
    if (BRS->Connected()) {
        ButtonLoadDevices->setText(QStringLiteral("Disconnect All"));
        getValuesBRS();
        if (CheckBoxTrackAll->isChecked()) {
            LogDebug(QStringLiteral("Start tracking BRS.."));
            Tracking.StartDew([this] { getValuesBRS(); });
            LogNotifs(QStringLiteral("Start tracking Brisella.."));
        }
    }
}

void TFormMain::EnumeratePorts() {
    for (const QString& port : ListPorts()) {
        LogDebug(port);
        DeviceWho(port);
    }
}

void TFormMain::OpenFound(TDevice& device, const QString& port,
                          void (TFormMain::*connect)(const QString&)) {
    try {
        device.Open(port);
        (this->*connect)(port);
    } catch (const Failure& e) {
        LogDebug(device.OpenErrorPrefix() + e.Message());
    }
}

void TFormMain::DeviceWho(const QString& port) {
    QByteArray reply;
    try {
        // Renaming the probe port reopens it when a silent port left it open; a busy port then
        // fails here and is logged like any other open error.
        ComPort->SetPort(port);
        Identify(*ComPort, reply);
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur ouverture ComPort :") + e.Message());
        // The debug log is hidden: a port closed to this user must be seen where it is read.
        if (e.Code() == EACCES || e.Code() == EPERM) LogNotifs(NoAccessNotice(port));
    }

    const QString text = FromDevice(reply);
    const ProbeKinds kinds = RecogniseReply(text);
    if (kinds.focuser) {
        LogDebug(QStringLiteral("   QLO Detected on ") + port);
        if (QLO->Connected())
            OpenFound(*QLO2, port, &TFormMain::ConnectQLO2);
        else
            OpenFound(*QLO, port, &TFormMain::ConnectQLO);
    }
    if (kinds.dew) {
        LogDebug(QStringLiteral("   BRS version detected in ") + text);
        try {
            const QString version = FirmwareVersionText(text);
            BRS->FirmwareVersion = StrToInt(version);
            LogDebug(QStringLiteral("   BRS version extracted ") + version);
        } catch (const Failure& e) {
            LogDebug(QStringLiteral("Erreur récupération version firmware :") + e.Message());
        }
        OpenFound(*BRS, port, &TFormMain::ConnectBRS);
    }
    if (kinds.panels) {
        LogDebug(QStringLiteral("   Panels Detected on ") + port);
        OpenFound(*PrimaryPanels, port, &TFormMain::ConnectPrimaryPanels);
    }
}
