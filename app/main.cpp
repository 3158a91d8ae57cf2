#include "ErrorBox.h"
#include "MainForm.h"
#include "Startup.h"

namespace {
// Closing the main window ends the program; closing another window only hides it.
struct QuitWithMainWindow : QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == FormMain && event->type() == QEvent::Close) QApplication::quit();
        return false;
    }
};
} // namespace

int main(int argc, char** argv) {
    TSkyvarnApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    InstallErrorBox();
    CreateForms();
    QuitWithMainWindow quitter;
    FormMain->installEventFilter(&quitter);
    const int code = app.exec();
    FormMain->removeEventFilter(&quitter);
    DestroyForms();
    return code;
}
