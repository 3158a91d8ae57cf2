// SPDX-License-Identifier: GPL-3.0-or-later
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
#include "PortArrivals.h"
#include "PortList.h"
#include "PortWatch.h"
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
    StopArrivals();
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
        if (CheckBoxTrackAll->isChecked()) StartFocuserTracking();
    }
    if (BRS->Connected()) {
        ButtonLoadDevices->setText(QStringLiteral("Disconnect All"));
        getValuesBRS();
        if (CheckBoxTrackAll->isChecked()) StartDewTracking();
    }
    // Also after a search that found nothing: what is plugged in later is found then.
    if (ActionHotplug->isChecked()) WatchArrivals(listed_);
}

void TFormMain::StartFocuserTracking() {
    LogDebug(QStringLiteral("Start tracking QLO.."));
    Tracking.StartFocusers([this] { getValuesQLO(); });
    QLO->AskPosition = true;
    QLO2->AskPosition = true;
    LogNotifs(QStringLiteral("Start tracking Quillo.."));
}

void TFormMain::StartDewTracking() {
    LogDebug(QStringLiteral("Start tracking BRS.."));
    Tracking.StartDew([this] { getValuesBRS(); });
    LogNotifs(QStringLiteral("Start tracking Brisella.."));
}

QCoro::Task<bool> TFormMain::EnumeratePorts() {
    // A probe link a silent port left open is given back before the ports are searched again.
    ReleaseProbe();
    StopArrivals();
    search_ = std::make_unique<Search>();
    Search& search = *search_;
    search.caption = ButtonLoadDevices->text();
    listed_ = ListPorts();
    for (const QString& port : listed_) {
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
    StopArrivals(); // also after a Connect All that found nothing
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

void TFormMain::NoteProbeError(const TPortProbe& probe) {
    if (!probe.Error) return;
    // A busy port fails here and is logged like any other open error.
    LogDebug(QStringLiteral("Erreur ouverture ComPort :") + probe.Error->Message());
    // The debug log is hidden: a port closed to this user must be seen where it is read.
    const int code = probe.Error->Code();
    if (code == EACCES || code == EPERM) LogNotifs(NoAccessNotice(probe.Port));
}

void TFormMain::Recognise(const TPortProbe& probe) {
    NoteProbeError(probe);
    const QString text = FromDevice(probe.Reply);
    const ProbeKinds kinds = RecogniseReply(text);
    if (kinds.focuser) Take(QLO->Connected() ? panelQLO2_ : panelQLO_, probe.Port, text);
    if (kinds.dew) Take(panelBRS_, probe.Port, text);
    if (kinds.panels) Take(panelPanels_, probe.Port, text);
}

void TFormMain::Take(Panel& panel, const QString& port, const QString& text) {
    if (&panel == &panelBRS_) {
        LogDebug(QStringLiteral("   BRS version detected in ") + text);
        try {
            const QString version = FirmwareVersionText(text);
            BRS->FirmwareVersion = StrToInt(version);
            LogDebug(QStringLiteral("   BRS version extracted ") + version);
        } catch (const Failure& e) {
            LogDebug(QStringLiteral("Erreur récupération version firmware :") + e.Message());
        }
    } else if (&panel == &panelPanels_) {
        LogDebug(QStringLiteral("   Panels Detected on ") + port);
    } else {
        LogDebug(QStringLiteral("   QLO Detected on ") + port);
    }
    OpenFound(*panel.device, port, panel.connect);
}

// ---- Accessories plugged in later ----

void TFormMain::SetHotplug(bool on) {
    if (ActionHotplug->isChecked() != on) {
        ActionHotplug->setChecked(on); // its toggle comes back here
        return;
    }
    if (!on) {
        StopArrivals();
        return;
    }
    const bool connected =
        Present(panelQLO_) || Present(panelQLO2_) || Present(panelBRS_) || Present(panelPanels_);
    // Switched on while connected: what is there now was there before.
    if (connected && !arrivals_ && !search_) WatchArrivals(ListPorts());
}

void TFormMain::WatchArrivals(const QStringList& known) {
    StopArrivals();
    arrivals_ = std::make_unique<TPortArrivals>(known);
    arrivals_->OnArrived = [this](const QStringList& ports) { PortsArrived(ports); };
    // What came while the search ran.
    arrivals_->Look();
}

void TFormMain::StopArrivals() {
    arrivals_.reset();
    // A probe under way unwinds in Stop, before it is forgotten.
    for (auto& probe : arrivalProbes_)
        probe->Stop();
    arrivalProbes_.clear();
}

bool TFormMain::Held(const QString& port) const {
    for (const Panel* panel : {&panelQLO_, &panelQLO2_, &panelBRS_, &panelPanels_}) {
        if (panel->device->Connected() && panel->device->Link().Port() == port) return true;
        if (panel->watch && panel->watch->Port() == port) return true;
    }
    if (heldProbe_ && heldProbe_->Port == port) return true;
    for (const auto& probe : arrivalProbes_)
        if (probe->Port == port) return true;
    return false;
}

void TFormMain::PortsArrived(const QStringList& ports) {
    for (const QString& port : ports) {
        if (Held(port)) continue; // never asked anything
        LogDebug(QStringLiteral("Port plugged in: ") + port);
        Launch(TakeArrival(port));
    }
}

TFormMain::Panel* TFormMain::FreePlace(const ProbeKinds& kinds) {
    if (kinds.focuser) {
        if (!Present(panelQLO_)) return &panelQLO_;
        if (!Present(panelQLO2_)) return &panelQLO2_;
    } else if (kinds.dew) {
        if (!Present(panelBRS_)) return &panelBRS_;
    } else if (kinds.panels) {
        if (!Present(panelPanels_)) return &panelPanels_;
    }
    return nullptr;
}

QCoro::Task<> TFormMain::TakeArrival(QString port) {
    TPortProbe& probe = *arrivalProbes_.emplace_back(std::make_unique<TPortProbe>(port));
    co_await probe.Run();
    if (probe.Stopped) co_return; // Disconnect All or switched off meanwhile: already forgotten
    NoteProbeError(probe);
    const QString text = FromDevice(probe.Reply);
    const bool answered = !probe.Error && !probe.Silent();
    const bool openError = probe.Error.has_value();
    probe.Stop(); // a silent port's probe link is not kept
    std::erase_if(arrivalProbes_, [&](const auto& p) { return p.get() == &probe; });

    const ProbeKinds kinds = RecogniseReply(text);
    const bool known = kinds.focuser || kinds.dew || kinds.panels;
    if (!answered || !known) {
        if (!openError) // an open error was said above
            LogNotifs(QStringLiteral("Plugged in: %1 %2")
                          .arg(port, answered ? QStringLiteral("answers as no accessory")
                                              : QStringLiteral("does not answer")));
        co_return;
    }
    const QString what = kinds.focuser ? QStringLiteral("a focuser")
                         : kinds.dew   ? QStringLiteral("a dew controller")
                                       : QStringLiteral("a panels unit");
    Panel* place = FreePlace(kinds);
    if (!place) {
        LogNotifs(QStringLiteral("Not taken: %1 on %2, its place is taken").arg(what, port));
        co_return;
    }
    Take(*place, port, text);
    if (!place->device->Connected()) {
        LogNotifs(QStringLiteral("Not taken: %1 on %2 does not open").arg(what, port));
        co_return;
    }
    LogNotifs(QStringLiteral("Found: %1 on %2").arg(place->title, port));
    SetConnectAllCaption();
    // Polled as at Connect All; a running timer polls it at its next tick.
    if (Tracked(*place)) co_return;
    place->device->Poll();
    if (!CheckBoxTrackAll->isChecked()) co_return;
    if (place == &panelBRS_)
        StartDewTracking();
    else if (place != &panelPanels_)
        StartFocuserTracking();
}
