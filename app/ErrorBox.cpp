// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorBox.h"

#include "ErrorReport.h"

#include <QMessageBox>

TSkyvarnApplication::TSkyvarnApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TSkyvarnApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void InstallErrorBox() {
    SetErrorReporter([](const QString& message) {
        QMetaObject::invokeMethod(
            qApp,
            [message] {
                auto* box = new QMessageBox(QMessageBox::Critical, kApplicationTitle, message,
                                            QMessageBox::Ok);
                box->setObjectName(QStringLiteral("ErrorBox"));
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->setWindowModality(Qt::ApplicationModal);
                box->show();
            },
            Qt::QueuedConnection);
    });
}
