// Connect All / Disconnect All: finding the accessories on the serial ports, connecting them
// and starting and stopping the polling.
#include "ComPort.h"
#include "Convert.h"
#include "Failure.h"
#include "HistoryChart.h"
#include "MainForm.h"
#include "PortList.h"
#include "Probe.h"
#include "QLOForm.h"
#include "ThreadedTimer.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

namespace {
constexpr int kProbeReads = 30;
constexpr int kProbePauseMs = 100;
constexpr int kReadMax = 80;

bool HasCarriageReturn(const QByteArray& reply) {
    return reply.contains('\r');
}
} // namespace

void TFormMain::ButtonLoadDevicesClick() {
    const bool focuserOpen = ComPortQLO->Connected() || ComPortQLO2->Connected();
    if (focuserOpen || ComPortBRS->Connected() || ComPortPrimaryPanels->Connected()) {
        if (focuserOpen) {
            if (ThreadedTimerQLO) {
                ThreadedTimerQLO->SetEnabled(false);
                delete ThreadedTimerQLO;
                ThreadedTimerQLO = nullptr;
            }
            LogNotifs(QStringLiteral("Stopped tracking Quillo"));
        }
        if (ComPortBRS->Connected()) {
            if (ThreadedTimerBRS) {
                ThreadedTimerBRS->SetEnabled(false);
                delete ThreadedTimerBRS;
                ThreadedTimerBRS = nullptr;
            }
            LogNotifs(QStringLiteral("Stopped tracking Brisella"));
        }
        if (ComPortQLO->Connected()) ClosePortQLO();
        if (ComPortQLO2->Connected()) ClosePortQLO2();
        if (ComPortBRS->Connected()) ClosePortBRS();
        if (ComPortPrimaryPanels->Connected()) ClosePortPrimaryPanels();
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

    if (ComPortQLO->Connected() || ComPortQLO2->Connected()) {
        ButtonLoadDevices->setText(QStringLiteral("Disconnect All"));
        getValuesQLO();
        if (CheckBoxTrackAll->isChecked()) {
            LogDebug(QStringLiteral("Start tracking QLO.."));
            ThreadedTimerQLO = new TThreadedTimer(this);
            ThreadedTimerQLO->SetInterval(1000);
            ThreadedTimerQLO->SetThreadPriority(TThreadPriority::Lower);
            ThreadedTimerQLO->OnTimer = [this] { getValuesQLO(); };
            ThreadedTimerQLO->SetEnabled(true);
            AskPositionQLO = true;
            AskPositionQLO2 = true;
            LogNotifs(QStringLiteral("Start tracking Quillo.."));
        }
    }
    if (ComPortBRS->Connected()) {
        ButtonLoadDevices->setText(QStringLiteral("Disconnect All"));
        getValuesBRS();
        if (CheckBoxTrackAll->isChecked()) {
            LogDebug(QStringLiteral("Start tracking BRS.."));
            ThreadedTimerBRS = new TThreadedTimer(this);
            ThreadedTimerBRS->SetInterval(2000);
            ThreadedTimerBRS->SetThreadPriority(TThreadPriority::Lower);
            ThreadedTimerBRS->OnTimer = [this] { getValuesBRS(); };
            ThreadedTimerBRS->SetEnabled(true);
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

void TFormMain::DeviceWho(const QString& port) {
    QByteArray reply;
    try {
        // Renaming the probe port reopens it when a silent port left it open; a busy port then
        // fails here and is logged like any other open error.
        ComPort->SetPort(port);
        ComPort->Open();
        ComPort->WriteText("SWHOIS");
        bool found = false;
        for (int i = 0; i < kProbeReads && !found; ++i) {
            if (HasCarriageReturn(reply)) {
                found = true;
                break;
            }
            QThread::msleep(kProbePauseMs);
            ComPort->ReadText(reply, kReadMax);
        }
        if (!found) {
            ComPort->WriteText("FMMODE");
            found = HasCarriageReturn(reply);
            for (int i = 1; i <= kProbeReads && !found; ++i) {
                QThread::msleep(kProbePauseMs);
                ComPort->ReadText(reply, kReadMax);
                if (i == kProbeReads) return; // nothing recognised; the probe port stays open
                found = HasCarriageReturn(reply);
            }
        }
        ComPort->Close();
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur ouverture ComPort :") + e.Message());
    }

    const QString text = FromDevice(reply);
    const ProbeKinds kinds = RecogniseReply(text);
    if (kinds.focuser) {
        LogDebug(QStringLiteral("   QLO Detected on ") + port);
        if (ComPortQLO->Connected()) {
            try {
                ComPortQLO2->SetPort(port);
                ComPortQLO2->Open();
                ConnectQLO2(port);
            } catch (const Failure& e) {
                LogDebug(QStringLiteral("Erreur ouverture ComPortQLO2 :") + e.Message());
            }
        } else {
            try {
                ComPortQLO->SetPort(port);
                ComPortQLO->Open();
                ConnectQLO(port);
            } catch (const Failure& e) {
                LogDebug(QStringLiteral("Erreur ouverture ComPortQLO :") + e.Message());
            }
        }
    }
    if (kinds.dew) {
        LogDebug(QStringLiteral("   BRS version detected in ") + text);
        try {
            const QString version = FirmwareVersionText(text);
            BRSFirmwareVersion = StrToInt(version);
            LogDebug(QStringLiteral("   BRS version extracted ") + version);
        } catch (const Failure& e) {
            LogDebug(QStringLiteral("Erreur récupération version firmware :") + e.Message());
        }
        try {
            ComPortBRS->SetPort(port);
            ComPortBRS->Open();
            ConnectBRS(port);
        } catch (const Failure& e) {
            LogDebug(QStringLiteral("Erreur ouverture ComPortBRS :") + e.Message());
        }
    }
    if (kinds.panels) {
        LogDebug(QStringLiteral("   Panels Detected on ") + port);
        try {
            ComPortPrimaryPanels->SetPort(port);
            ComPortPrimaryPanels->Open();
            ConnectPrimaryPanels(port);
        } catch (const Failure& e) {
            LogDebug(QStringLiteral("Erreur ouverture ComPortPanel :") + e.Message());
        }
    }
}

void TFormMain::ConnectQLO(const QString& port) {
    LabelPortStatusQLO->setText(QStringLiteral("connected ") + port);
    ButtonDetailsQLO->setEnabled(true);
    ButtonQLOWS->setEnabled(true);
    FormQLO->RadioButtonFocuser1->setEnabled(true);
    try {
        ComPortQLO->WriteText("FMMODE");
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur écriture ComPortQLO :") + e.Message());
    }
    FormQLO->ButtonTempComp->setText(QStringLiteral("Start t° comp"));
    FormQLO->TempCompFocuser1 = false;
}

void TFormMain::ConnectQLO2(const QString& port) {
    LabelPortStatusQLO2->setText(QStringLiteral("connected ") + port);
    ButtonDetailsQLO2->setEnabled(true);
    try {
        ComPortQLO2->WriteText("FMMODE");
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur écriture ComPortQLO2 :") + e.Message());
    }
    FormQLO->TempCompFocuser2 = false;
    FormQLO->RadioButtonFocuser2->setEnabled(true);
}

void TFormMain::ConnectBRS(const QString& port) {
    LabelPortStatusBRS->setText(QStringLiteral("connected ") + port);
    ButtonDetailsBRS->setEnabled(true);
}

void TFormMain::ConnectPrimaryPanels(const QString& port) {
    LabelPortStatusPanels->setText(QStringLiteral("connected ") + port);
    ButtonDetailsPanels->setEnabled(true);
}
