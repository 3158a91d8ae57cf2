// SPDX-License-Identifier: GPL-3.0-or-later
#include "Probe.h"

#include "ComPort.h"
#include "Waits.h"

ProbeKinds RecogniseReply(const QString& reply) {
    ProbeKinds kinds;
    kinds.focuser = reply.contains(QLatin1String("QLO")) || reply.contains(QChar('!'));
    kinds.dew = reply.contains(QLatin1String("BRS"));
    kinds.panels = reply.contains(QLatin1String("PANPRI"));
    return kinds;
}

QString FirmwareVersionText(const QString& reply) {
    const qsizetype close = reply.indexOf(QChar(')'));
    const QString before = close < 0 ? QString() : reply.left(close);
    const qsizetype open = before.indexOf(QChar('('));
    return open < 0 ? before : before.mid(open + 1);
}

namespace {
constexpr int kProbeReads = 30;
constexpr int kProbePauseMs = 100;
constexpr int kProbeReadMax = 80;
} // namespace

QCoro::Task<bool> Identify(TComPort& probe, TWaits& waits, QByteArray& reply) {
    probe.Open();
    probe.WriteText("SWHOIS");
    bool found = false;
    for (int i = 0; i < kProbeReads && !found; ++i) {
        if (reply.contains('\r')) {
            found = true;
            break;
        }
        co_await waits.Pause(kProbePauseMs);
        probe.ReadText(reply, kProbeReadMax);
    }
    if (!found) {
        // Right after the 30th read, whatever it holds: the older focusers only answer this.
        probe.WriteText("FMMODE");
        found = reply.contains('\r');
        for (int i = 1; i <= kProbeReads && !found; ++i) {
            co_await waits.Pause(kProbePauseMs);
            probe.ReadText(reply, kProbeReadMax);
            if (i == kProbeReads) co_return false; // the 30th read is not looked at
            found = reply.contains('\r');
        }
    }
    probe.Close();
    co_return true;
}

QString NoAccessNotice(const QString& port) {
    return QStringLiteral("No permission to open %1: add your user to the dialout group "
                          "(sudo usermod -aG dialout $USER), then log in again")
        .arg(port);
}

TPortProbe::TPortProbe(QString port) : Port(std::move(port)) {
    link_.setObjectName(QStringLiteral("ComPort"));
}

QCoro::Task<> TPortProbe::Run() {
    try {
        link_.SetPort(Port);
        co_await Identify(link_, waits_, Reply);
    } catch (const TCancelled&) {
        Stopped = true;
    } catch (const Failure& e) {
        Error = e;
        // A port that failed (it vanished, say) is let go at once, not held for the next probe.
        link_.Abandon();
    }
}

void TPortProbe::Stop() {
    waits_.Cancel();
    try {
        link_.Close();
    } catch (const Failure&) {
        // The search is being given up; a port that will not purge is closed with the program.
    }
}
