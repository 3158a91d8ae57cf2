#pragma once
// The program's application object: nothing escapes into Qt's event loop; an escaped error
// becomes the modal box titled with the application title, then the program goes on.
#include <QApplication>

class TSkyvarnApplication : public QApplication {
  public:
    TSkyvarnApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The modal error box as the default error report.
void InstallErrorBox();
