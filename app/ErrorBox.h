// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's application object: nothing escapes into Qt's event loop; an escaped error
// becomes the modal box titled with the application title, then the program goes on.
#include <QApplication>

// The application title: the error box's title and the desktop entry's name.
inline const QString kApplicationTitle = QStringLiteral("Skyvarn Manager");

class TSkyvarnApplication : public QApplication {
  public:
    TSkyvarnApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The modal error box as the default error report. The box is posted to the event loop and
// shown without an event loop of its own, so the handler that failed has ended before it opens
// and nothing runs underneath a half-finished handler.
void InstallErrorBox();
