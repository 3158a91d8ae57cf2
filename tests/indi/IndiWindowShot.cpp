// SPDX-License-Identifier: GPL-3.0-or-later
// indi_window_shot FILE.png: the INDI server's window serving simulated accessories to one
// INDI client, saved as an image for the README. Run it on a display (Xvfb will do).
#include "ErrorBox.h"
#include "IndiClient.h"
#include "IndiForm.h"
#include "MainForm.h"
#include "PortList.h"
#include "QtTestSupport.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "Startup.h"

#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char** argv) {
    TSkyvarnApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "Usage: indi_window_shot FILE.png\n";
        return 2;
    }
    TSimFocuser focuser;
    TSimDewController dew;
    QTemporaryDir folder;
    QFile::link(QString::fromStdString(focuser.Port()), folder.filePath("focuser"));
    QFile::link(QString::fromStdString(dew.Port()), folder.filePath("dew"));
    SetPortSource([&] { return FolderPorts(folder.path()); });

    CreateForms(true);
    FormMain->ButtonLoadDevicesClick();
    WaitFor([] { return !FormMain->Searching(); }, 30000);
    FormMain->ButtonIndi->click();
    FormIndi->SetListenAddress(QHostAddress::LocalHost);
    FormIndi->SetAddressSource([] { return QStringLiteral("192.168.1.20"); });
    FormIndi->BtnIndiStart->click();
    bool saved = false;
    {
        TIndiTestClient client(FormIndi->SpinEditIndiPort->value());
        WaitFor([] { return FormIndi->LabelIndiClients->text() == "Clients : 1"; }, 10000);
        Pump(500);
        saved = FormIndi->grab().save(QString::fromLocal8Bit(argv[1]));
    }
    FormIndi->BtnIndiStop->click();
    FormMain->ButtonLoadDevicesClick();
    DestroyForms();
    return saved ? 0 : 1;
}
