// SPDX-License-Identifier: GPL-3.0-or-later
#include "QLOWebserver.h"

#include "ClientData.h"
#include "Controls.h"
#include "Convert.h"
#include "ErrorReport.h"
#include "Front.h"
#include "HostAddress.h"
#include "QrCode.h"
#include "WiFiPicture.h"

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

using look::Make;

namespace {

const QString kIpCaption = QStringLiteral("This computer IP address : ");
constexpr int kQuietZone = 4;
// The traffic memo keeps its newest lines, like the main window's debug log.
constexpr int kMemoMaxLines = 20000;
// The paint area hands its painting to the window's handler.
class TPaintBox : public QWidget {
  public:
    TPaintBox(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), paint_(std::move(paint)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Guarded([&] { paint_(painter); });
    }

  private:
    std::function<void(QPainter&)> paint_;
};

} // namespace

TFormQLOWS::TFormQLOWS(TRemoteFocuser& focuser, QWidget* parent)
    : QWidget(parent, Qt::Window), focuser_(focuser), addressSource_(GetLocalIPAddress) {
    setObjectName(QStringLiteral("FormQLOWS"));
    setWindowTitle(QStringLiteral("Quillo remote controler"));
    resize(344, 290);
    look::Style(this, 11);
    MemoHttpTraffic = Make<QPlainTextEdit>(this, "MemoHttpTraffic", 1, 2, 328, 79);
    MemoHttpTraffic->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoHttpTraffic->setMaximumBlockCount(kMemoMaxLines);
    ImageWiFi = Make<QLabel>(this, "ImageWiFi", 272, 80, 72, 73);
    ImageWiFi->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImageWiFi->setPixmap(WiFiPicture());
    LabelHelp1 = look::Label(this, "LabelHelp1", 0, 87,
                             QStringLiteral("1. Connect this computer to a WiFi router"), 11);
    LabelIP = look::Label(this, "LabelIP", 13, 104, kIpCaption, 11);
    LabelHelp2 =
        look::Label(this, "LabelHelp2", 0, 124,
                    QStringLiteral("2. Connect the remote equipment to the same WiFi router"), 11);
    Label2 = look::Label(this, "Label2", 0, 142, QStringLiteral("3. Click Start button"), 11);
    PaintBox1 = new TPaintBox(this, [this](QPainter& painter) { PaintBox1Paint(painter); });
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->setGeometry(200, 152, 144, 138);
    // Four lines of text need more than the 39 pixels once given; the label grows down
    // towards the Start button instead of being cut, and starts at its top.
    LabelHelp3 = Make<QLabel>(this, "LabelHelp3", 0, 161, 198, 60);
    LabelHelp3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelHelp3->setWordWrap(true);
    LabelHelp3->setText(
        QStringLiteral("4. Open remote equipment browser and access this computer IP address. Or "
                       "flash this QR Code from your smartphone :"));
    BtnStart =
        look::Captioned<QPushButton>(this, "BtnStart", 8, 224, 145, 24, QStringLiteral("Start"));
    BtnStop =
        look::Captioned<QPushButton>(this, "BtnStop", 8, 256, 145, 24, QStringLiteral("Stop"));
    BtnStop->setEnabled(false);
    connect(BtnStart, &QPushButton::clicked, this, GuardedSlot([this] { BtnStartClick(); }));
    connect(BtnStop, &QPushButton::clicked, this, GuardedSlot([this] { BtnStopClick(); }));

    // Entries of connections that outlive the window (a move still running) go nowhere.
    auto log = [window = QPointer<TFormQLOWS>(this)](const QString& entry) {
        if (window) window->Log(entry);
    };
    HttpServer = new net::TFront(
        [this](const std::shared_ptr<net::TConnection>& connection) {
            return HttpServerClientConnect(connection);
        },
        log, this);
}

TFormQLOWS::~TFormQLOWS() {
    // No connection may call back into a window being destroyed.
    HttpServer->close();
}

void TFormQLOWS::SetServerPort(quint16 port) {
    port_ = port;
}

void TFormQLOWS::SetListenAddress(const QHostAddress& address) {
    listenAddress_ = address;
}

void TFormQLOWS::SetAddressSource(std::function<QString()> source) {
    addressSource_ = std::move(source);
}

void TFormQLOWS::SetConnectionLimits(const net::TLimits& limits) {
    HttpServer->setLimits(limits);
}

quint16 TFormQLOWS::ServerPort() const {
    return HttpServer->isListening() ? HttpServer->serverPort() : port_;
}

void TFormQLOWS::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The QR code's area keeps its distance to every side of the window.
    PaintBox1->setGeometry(200, 152, std::max(0, width() - 200), std::max(0, height() - 152));
}

void TFormQLOWS::Log(const QString& entry) {
    // Under load, appending to the memo costs far more than answering; the traffic of one turn
    // of the event loop goes in at once.
    if (unshown_.isEmpty()) QTimer::singleShot(0, this, [this] { ShowLog(); });
    unshown_ << entry;
}

void TFormQLOWS::ShowLog() {
    if (unshown_.isEmpty()) return;
    MemoHttpTraffic->appendPlainText(unshown_.join(QChar('\n')));
    unshown_.clear();
}

void TFormQLOWS::Say(const QString& line) {
    ShowLog();
    MemoHttpTraffic->appendPlainText(line);
}

void TFormQLOWS::BtnStartClick() {
    if (HttpServer->isListening()) return;
    const QString address = addressSource_();
    LabelIP->setText(kIpCaption);
    if (address.contains(QLatin1String("IP")) || address.contains(QLatin1String("127.0.0.1"))) {
        Say(QStringLiteral("Connexion unavailable, please connect to your WiFi router"));
        return;
    }
    unshown_.clear();
    MemoHttpTraffic->clear();
    ServerCreate();
    LabelIP->setText(kIpCaption + address + QChar(':') + QString::number(ServerPort()));
    BtnStart->setEnabled(false);
    BtnStop->setEnabled(true);
    BuildQrCode();
}

void TFormQLOWS::BtnStopClick() {
    if (!HttpServer->isListening()) return;
    HttpServer->close(); // and every connection with it
    Say(QStringLiteral("Server stoped !"));
    BtnStart->setEnabled(true);
    BtnStop->setEnabled(false);
}

void TFormQLOWS::ServerCreate() {
    // A refused port raises the system's own text and number.
    HttpServer->listen(listenAddress_.toIPv4Address(), port_);
    ClientCounter = 0;
    Say(QStringLiteral("Server started.."));
}

void TFormQLOWS::BuildQrCode() {
    QrText =
        QStringLiteral("http://") + addressSource_() + QChar(':') + QString::number(ServerPort());
    const TQrMatrix matrix = EncodeQr(QrText, kQuietZone);
    QrBitmap = QImage(matrix.Size, matrix.Size, QImage::Format_RGB32);
    for (int row = 0; row < matrix.Size; ++row)
        for (int column = 0; column < matrix.Size; ++column)
            QrBitmap.setPixelColor(column, row,
                                   matrix.At(column, row) ? QColor(Qt::black)
                                                          : palette().color(QPalette::Button));
    PaintBox1->update();
}

void TFormQLOWS::PaintBox1Paint(QPainter& painter) {
    const QRect area = PaintBox1->rect();
    painter.fillRect(area, Qt::white);
    if (QrBitmap.width() < 1 || QrBitmap.height() < 1) return;
    const double scale = area.width() < area.height() ? double(area.width()) / QrBitmap.width()
                                                      : double(area.height()) / QrBitmap.height();
    painter.drawImage(QRect(0, 0, int(QrBitmap.width() * scale), int(QrBitmap.height() * scale)),
                      QrBitmap);
}

std::shared_ptr<net::THandler>
TFormQLOWS::HttpServerClientConnect(const std::shared_ptr<net::TConnection>& connection) {
    ClientCounter = connection->id();
    return std::make_shared<TClientData>(connection, focuser_,
                                         [window = QPointer<TFormQLOWS>(this)](const QString& e) {
                                             if (window) window->Log(e);
                                         });
}
