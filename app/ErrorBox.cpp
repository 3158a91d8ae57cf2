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
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), message,
                        QMessageBox::Ok);
        box.exec();
    });
}
