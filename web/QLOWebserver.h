#pragma once
// Remote-access window: starts and stops the phone control server, shows the address and its
// QR code.
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TFormQLOWS : public QWidget {
  public:
    explicit TFormQLOWS(QWidget* parent = nullptr);

    QPlainTextEdit* MemoHttpTraffic;
    QLabel* ImageWiFi;
    QLabel* LabelHelp1;
    QLabel* LabelIP;
    QLabel* LabelHelp2;
    QLabel* Label2;
    QWidget* PaintBox1;
    QLabel* LabelHelp3;
    QPushButton* BtnStart;
    QPushButton* BtnStop;
};
