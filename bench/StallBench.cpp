// SPDX-License-Identifier: GPL-3.0-or-later
// How long the event loop stalls while the exchanges run, through the real windows against
// simulated accessories: Read values, Save values, a 10,000-step move, a dew controller Save and
// Reset, and Connect All with a silent port. Each line gives how long the operation took (a
// loop that slept through its waits stood still that long) and the longest gap between two
// turns of the loop meanwhile. A timing program that prints its figures.
#include "BRSForm.h"
#include "DewController.h"
#include "ErrorBox.h"
#include "Focuser.h"
#include "MainForm.h"
#include "PortList.h"
#include "QLOForm.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "SimPanels.h"
#include "Startup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

bool Busy() {
    return FormMain->Searching() || FormMain->QLO->Busy() || FormMain->QLO2->Busy() ||
           FormMain->BRS->Busy();
}

// Runs the operation and the event loop until nothing is busy; prints its time and the
// longest gap between two ticks of a 5 ms timer.
void Measure(const char* what, const std::function<void()>& start) {
    QElapsedTimer clock, sinceTick;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    tick.start(5);
    clock.start();
    sinceTick.start();
    start();
    longest = std::max(longest, sinceTick.restart()); // the handler itself
    while (Busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 took = clock.elapsed();
    tick.stop();
    std::printf("%-34s took %6lld ms (a sleeping loop stood still that long); longest stall "
                "%3lld ms\n",
                what, static_cast<long long>(took), static_cast<long long>(longest));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TSkyvarnApplication app(argc, argv);
    CreateForms(false);
    FormMain->CheckBoxTrackAll->setChecked(true);

    TFocuserOptions fast;
    fast.stepsPerSecond = 2000; // the 10,000 steps in about 5 s
    TSimFocuser one(fast), two;
    TSimDewController dew;
    TSimPanels panels;
    TSimSilent silent;
    QTemporaryDir folder;
    auto plug = [&](const char* name, const TSimDevice& device) {
        QFile::link(QString::fromStdString(device.Port()), folder.filePath(QLatin1String(name)));
    };
    plug("a-focuser", one);
    plug("b-focuser", two);
    plug("c-dew", dew);
    plug("d-panels", panels);
    plug("e-silent", silent);
    SetPortSource([&] { return FolderPorts(folder.path()); });

    Measure("Connect All (one silent port)", [] { FormMain->ButtonLoadDevicesClick(); });
    FormQLO->RadioButtonFocuser1->setChecked(true);
    while (Busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    Measure("Read values", [] { FormQLO->Button_GetvaluesClick(); });
    Measure("Save values", [] { FormQLO->Button_SendClick(); });
    Measure("Move IN 10,000 steps", [] {
        FormQLO->ComboMove->setCurrentText(QStringLiteral("10000"));
        FormQLO->ButtonMoveInClick();
    });
    Measure("Dew controller Save (outputs)", [] { FormBRS->ButtonSaveOutValuesClick(); });
    Measure("Dew controller Reset All", [] { FormBRS->ButtonResetClick(); });
    FormMain->ButtonLoadDevicesClick(); // Disconnect All
    DestroyForms();
    return 0;
}
