// SPDX-License-Identifier: GPL-3.0-or-later
// dew_window_shot FILE.png: the dew controller settings window filled from a simulated
// controller after its first frame, saved as an image for the README. Run it on a display
// (Xvfb will do).
#include "BRSForm.h"
#include "DewController.h"
#include "ErrorBox.h"
#include "MainForm.h"
#include "PortList.h"
#include "QtTestSupport.h"
#include "SimDew.h"
#include "Startup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char** argv) {
    TSkyvarnApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "Usage: dew_window_shot FILE.png\n";
        return 2;
    }
    TDewOptions o;
    o.timeScale = 0;
    o.settings.calibration = {1, 0, 2};
    o.settings.threshold = {3, 3};
    o.settings.automatic = true;
    o.settings.aggressivity = 3;
    TSimDewController dew(o);
    QTemporaryDir folder;
    QFile::link(QString::fromStdString(dew.Port()), folder.filePath("dew"));
    SetPortSource([&] { return FolderPorts(folder.path()); });

    CreateForms(true);
    FormMain->CheckBoxTrackAll->setChecked(false);
    FormMain->ButtonLoadDevicesClick();
    WaitFor([] { return !FormMain->Searching(); }, 30000);
    const bool framed = WaitFor([] { return FormMain->BRS->Values.Aggressive != 0; }, 5000);
    FormMain->ButtonDetailsBRS->click();
    // The user then chooses another aggressivity: its help shows and its Save is offered.
    FormBRS->ComboBoxAggressivity->setCurrentIndex(3);
    Pump(500);
    const bool saved = framed && FormBRS->grab().save(QString::fromLocal8Bit(argv[1]));
    FormMain->ButtonLoadDevicesClick();
    DestroyForms();
    return saved ? 0 : 1;
}
