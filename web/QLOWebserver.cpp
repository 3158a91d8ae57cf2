#include "QLOWebserver.h"

#include "Look.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using look::Make;

TFormQLOWS::TFormQLOWS(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("FormQLOWS"));
    setWindowTitle(QStringLiteral("Quillo remote controler"));
    resize(344, 290);
    look::Style(this, 11);
    MemoHttpTraffic = Make<QPlainTextEdit>(this, "MemoHttpTraffic", 1, 2, 328, 79);
    MemoHttpTraffic->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ImageWiFi = Make<QLabel>(this, "ImageWiFi", 272, 80, 72, 73);
    LabelHelp1 = look::Label(this, "LabelHelp1", 0, 87,
                             QStringLiteral("1. Connect this computer to a WiFi router"), 11);
    LabelIP =
        look::Label(this, "LabelIP", 13, 104, QStringLiteral("This computer IP address : "), 11);
    LabelHelp2 =
        look::Label(this, "LabelHelp2", 0, 124,
                    QStringLiteral("2. Connect the remote equipment to the same WiFi router"), 11);
    Label2 = look::Label(this, "Label2", 0, 142, QStringLiteral("3. Click Start button"), 11);
    PaintBox1 = Make<QWidget>(this, "PaintBox1", 200, 152, 144, 138);
    LabelHelp3 = Make<QLabel>(this, "LabelHelp3", 0, 161, 198, 39);
    LabelHelp3->setWordWrap(true);
    LabelHelp3->setText(
        QStringLiteral("4. Open remote equipment browser and access this computer IP address. Or "
                       "flash this QR Code from your smartphone :"));
    BtnStart =
        look::Captioned<QPushButton>(this, "BtnStart", 8, 224, 145, 24, QStringLiteral("Start"));
    BtnStop =
        look::Captioned<QPushButton>(this, "BtnStop", 8, 256, 145, 24, QStringLiteral("Stop"));
    BtnStop->setEnabled(false);
}
