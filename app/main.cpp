// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"
#include "ErrorBox.h"
#include "MainForm.h"
#include "Startup.h"

#include <QIcon>

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
    ChooseOffscreenWithoutDisplay();
    TSkyvarnApplication app(argc, argv);
    TStartOptions options;
    if (const auto code = ReadStartOptions(app.arguments(), options)) return *code;
    app.setQuitOnLastWindowClosed(false);
    // The installed desktop entry and icon; Wayland matches windows to the entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("skyvarn"));
    app.setWindowIcon(
        QIcon::fromTheme(QStringLiteral("skyvarn"), QIcon(QStringLiteral(":/skyvarn.png"))));
    InstallErrorBox();
    CreateForms();
    ApplyStartOptions(options);
    QuitWithMainWindow quitter;
    FormMain->installEventFilter(&quitter);
    const int code = app.exec();
    FormMain->removeEventFilter(&quitter);
    DestroyForms();
    return code;
}
