// SPDX-License-Identifier: GPL-3.0-or-later
#include "Startup.h"

#include "AlpacaForm.h"
#include "AlpacaHost.h"
#include "BRSForm.h"
#include "FocuserRemote.h"
#include "IndiForm.h"
#include "MainForm.h"
#include "PanelsForm.h"
#include "QLOForm.h"
#include "QLOWebserver.h"
#include "Server.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <memory>

namespace {
// What the phone page moves; lives as long as the remote-access window.
std::unique_ptr<TFocuserRemote> Remote;
// The INDI server; lives as long as its window.
std::unique_ptr<indi::TIndiServer> IndiServer;

void Centre(QWidget* window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}
} // namespace

void CreateForms(bool show) {
    // The application title is not Qt's display name: Qt would append that to every window
    // title, and each title must be exactly its window's caption.
    FormMain = new TFormMain;
    FormQLO = new TFormQLO(*FormMain->QLO, *FormMain->QLO2, *FormMain);
    FormBRS = new TFormBRS(*FormMain->BRS, *FormMain);
    FormPanels = new TFormPanels;
    Remote = std::make_unique<TFocuserRemote>(*FormMain->QLO, *FormQLO);
    FormQLOWS = new TFormQLOWS(*Remote);
    AlpacaHost = new TAlpacaHost(*FormMain);
    IndiServer = std::make_unique<indi::TIndiServer>(
        *FormMain->QLO, *FormMain->QLO2, *FormMain->BRS, *FormMain->PrimaryPanels,
        [](const QString& line) { FormMain->LogNotifs(line); });
    FormIndi = new TFormIndi(*IndiServer);
    for (QWidget* w : std::initializer_list<QWidget*>{FormMain, FormQLO, FormBRS, FormPanels,
                                                      FormQLOWS, &AlpacaHost->Form(), FormIndi})
        Centre(w);
    if (show) FormMain->show();
    // The Alpaca server window opens from the context menu of the main window and of the
    // remote-access window, so that neither window's layout changes.
    for (QWidget* w : std::initializer_list<QWidget*>{FormMain, FormQLOWS}) {
        auto* open = new QAction(QStringLiteral("Alpaca server..."), w);
        open->setObjectName(QStringLiteral("ActionAlpacaServer"));
        QObject::connect(open, &QAction::triggered, w, [] {
            TFormAlpaca& form = AlpacaHost->Form();
            form.show();
            form.raise();
        });
        w->addAction(open);
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
    }

    for (QPushButton* b :
         {FormMain->ButtonDetailsQLO, FormMain->ButtonDetailsQLO2, FormMain->ButtonDetailsBRS,
          FormMain->ButtonDetailsPanels, FormMain->ButtonQLOWS})
        b->setEnabled(false);
    FormQLO->RadioButtonFocuser2->setEnabled(false);
    for (QPushButton* b :
         {FormBRS->ButtonSaveCalValues, FormBRS->ButtonSaveThrValues, FormBRS->ButtonSaveOutValues})
        b->setEnabled(false);
    FormQLOWS->BtnStop->setEnabled(false);
    FormMain->memoDebugLogs->setPlainText(QStringLiteral("Logs.."));
    FormMain->MemoAdminMsgs->setPlainText(QStringLiteral("Notifs.."));
    FormQLO->ComboBoxSpeed->addItems(
        {QStringLiteral("Average"), QStringLiteral("Slow"), QStringLiteral("UltraSlow")});
    FormQLO->ComboBoxSpeed->setCurrentIndex(-1);
}

void DestroyForms() {
    // Exchanges end while every window they may show their end in is still there.
    if (FormMain) FormMain->CloseAll();
    // Secondary windows first: the main window's links outlive every window that uses them.
    delete FormIndi;
    FormIndi = nullptr;
    IndiServer.reset();
    delete AlpacaHost;
    AlpacaHost = nullptr;
    delete FormQLOWS;
    FormQLOWS = nullptr;
    Remote.reset();
    delete FormPanels;
    FormPanels = nullptr;
    delete FormBRS;
    FormBRS = nullptr;
    delete FormQLO;
    FormQLO = nullptr;
    delete FormMain;
    FormMain = nullptr;
}
