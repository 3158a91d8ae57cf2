#include "Startup.h"

#include "BRSForm.h"
#include "FocuserRemote.h"
#include "IndiForm.h"
#include "MainForm.h"
#include "PanelsForm.h"
#include "QLOForm.h"
#include "QLOWebserver.h"
#include "Server.h"

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
    IndiServer = std::make_unique<indi::TIndiServer>(
        *FormMain->QLO, *FormMain->QLO2, *FormMain->BRS, *FormMain->PrimaryPanels,
        [](const QString& line) { FormMain->LogNotifs(line); });
    FormIndi = new TFormIndi(*IndiServer);
    for (QWidget* w : std::initializer_list<QWidget*>{FormMain, FormQLO, FormBRS, FormPanels,
                                                      FormQLOWS, FormIndi})
        Centre(w);
    if (show) FormMain->show();

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
