// Time of Connect All through the real main window, against simulated accessories: the default
// set (two focusers, a dew controller, a panels unit), then the same with one silent port.
// Prints the median of a few runs; the silent port's six seconds are the protocol's own.
#include "ErrorBox.h"
#include "MainForm.h"
#include "PortList.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "SimPanels.h"
#include "Startup.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double MedianConnectMs(int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        FormMain->ButtonLoadDevicesClick();
        // The click starts the search and returns; the search ends with the first polls.
        while (FormMain->Searching())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        times.push_back(clock.nsecsElapsed() / 1e6);
        FormMain->ButtonLoadDevicesClick(); // Disconnect All
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TSkyvarnApplication app(argc, argv);
    CreateForms(false);
    FormMain->CheckBoxTrackAll->setChecked(false); // time the discovery, not the polling

    TSimFocuser one, two;
    TSimDewController dew;
    TSimPanels panels;
    QTemporaryDir folder;
    auto plug = [&](const char* name, const TSimDevice& device) {
        QFile::link(QString::fromStdString(device.Port()), folder.filePath(QLatin1String(name)));
    };
    plug("a-focuser", one);
    plug("b-focuser", two);
    plug("c-dew", dew);
    plug("d-panels", panels);
    SetPortSource([&] { return FolderPorts(folder.path()); });

    std::printf("Connect All, default simulator set (4 ports): %.0f ms (median of 5)\n",
                MedianConnectMs(5));
    TSimSilent silent;
    plug("e-silent", silent);
    std::printf("Connect All, default set plus one silent port (5 ports): %.0f ms (median of 3)\n",
                MedianConnectMs(3));

    DestroyForms();
    return 0;
}
