// Connect All / Disconnect All: finding the accessories on the serial ports, connecting them
// and starting and stopping the polling. Every port is probed at once, each on a probe link of
// its own; what they found is taken in port order, as one probe after the other would have.
#include "ComPort.h"
#include "Convert.h"
#include "DewController.h"
#include "ErrorReport.h"
#include "Failure.h"
#include "Focuser.h"
#include "HistoryChart.h"
#include "MainForm.h"
#include "Panels.h"
#include "PortList.h"
#include "Probe.h"
#include "Search.h"

#include <QCheckBox>
#include <QPushButton>
#include <cerrno>

void TFormMain::ButtonLoadDevicesClick() {
    if (search_) {
        StopSearch();
        return;
    }
    // A device lost and watched for its return counts as connected here.
    const bool focuserOpen = Present(panelQLO_) || Present(panelQLO2_);
    if (focuserOpen || Present(panelBRS_) || Present(panelPanels_)) {
        if (focuserOpen) {
            Tracking.StopFocusers();
            LogNotifs(QStringLiteral("Stopped tracking Quillo"));
        }
        if (Present(panelBRS_)) {
            Tracking.StopDew();
            LogNotifs(QStringLiteral("Stopped tracking Brisella"));
        }
        ClosePorts();
        return;
    }
    Launch(ConnectAll());
}

void TFormMain::ClosePorts() {
    if (Present(panelQLO_)) ClosePortQLO();
    if (Present(panelQLO2_)) ClosePortQLO2();
    if (Present(panelBRS_)) ClosePortBRS();
    if (Present(panelPanels_)) ClosePortPrimaryPanels();
    ReleaseProbe();
    ButtonLoadDevices->setText(QStringLiteral("Connect All"));
}

QCoro::Task<> TFormMain::ConnectAll() {
    LogDebug(QStringLiteral("Detecting devices..."));
    if (!co_await EnumeratePorts()) co_return;
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

QCoro::Task<bool> TFormMain::EnumeratePorts() {
    // A probe link a silent port left open is given back before the ports are searched again.
    ReleaseProbe();
    search_ = std::make_unique<Search>();
    Search& search = *search_;
    search.caption = ButtonLoadDevices->text();
    for (const QString& port : ListPorts()) {
        search.probes.push_back(std::make_unique<TPortProbe>(port));
        search.runs.push_back(search.probes.back()->Run());
    }
    ShowSearch();
    for (std::size_t i = 0; i < search.probes.size(); ++i) {
        co_await search.runs[i];
        if (search.stopped) co_return false;
        TPortProbe& probe = *search.probes[i];
        LogDebug(probe.Port);
        Recognise(probe);
        ++search.taken;
        ShowSearch();
    }
    // As one probe after the other would have left it: the probe link stays open only when
    // the last port stayed silent, until Disconnect All.
    if (!search.probes.empty() && search.probes.back()->Silent())
        heldProbe_ = std::move(search.probes.back());
    for (auto& probe : search.probes)
        if (probe) probe->Stop();
    ButtonLoadDevices->setText(search.caption);
    search_.reset();
    co_return true;
}

void TFormMain::EndSearch() {
    if (!search_) return;
    // The search's coroutine sees this when its probe ends, before the search is gone.
    search_->stopped = true;
    for (auto& probe : search_->probes)
        if (probe) probe->Stop();
    search_.reset();
}

void TFormMain::StopSearch() {
    EndSearch();
    LogDebug(QStringLiteral("Search stopped"));
    // What the search opened is closed again.
    ClosePorts();
}

void TFormMain::SearchCaption(const QString& caption) {
    search_->caption = caption;
}

bool TFormMain::ProbePortOpen() const {
    return heldProbe_ && heldProbe_->Silent();
}

void TFormMain::CloseAll() {
    if (search_) {
        StopSearch();
        return;
    }
    if (Present(panelQLO_) || Present(panelQLO2_) || Present(panelBRS_) || Present(panelPanels_))
        ButtonLoadDevicesClick();
    ReleaseProbe();
}

void TFormMain::ReleaseProbe() {
    if (!heldProbe_) return;
    heldProbe_->Stop();
    heldProbe_.reset();
}

void TFormMain::ShowSearch() {
    ButtonLoadDevices->setText(
        QStringLiteral("Stop search %1/%2").arg(search_->taken).arg(search_->probes.size()));
}

QCoro::Task<> TFormMain::DeviceWho(QString port) {
    auto probe = std::make_unique<TPortProbe>(port);
    co_await probe->Run();
    Recognise(*probe);
    if (probe->Silent()) {
        ReleaseProbe();
        heldProbe_ = std::move(probe);
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

void TFormMain::Recognise(const TPortProbe& probe) {
    const QString& port = probe.Port;
    if (probe.Error) {
        // A busy port fails here and is logged like any other open error.
        LogDebug(QStringLiteral("Erreur ouverture ComPort :") + probe.Error->Message());
        // The debug log is hidden: a port closed to this user must be seen where it is read.
        const int code = probe.Error->Code();
        if (code == EACCES || code == EPERM) LogNotifs(NoAccessNotice(port));
    }

    const QString text = FromDevice(probe.Reply);
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
