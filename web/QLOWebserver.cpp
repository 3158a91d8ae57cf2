#include "QLOWebserver.h"

#include "ClientData.h"
#include "Controls.h"
#include "Convert.h"
#include "ErrorReport.h"
#include "HostAddress.h"
#include "ListeningSocket.h"
#include "QrCode.h"
#include "WiFiPicture.h"

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <unistd.h>

using look::Make;

namespace {

const QString kIpCaption = QStringLiteral("This computer IP address : ");
constexpr int kQuietZone = 4;
// The traffic memo keeps its newest lines, like the main window's debug log.
constexpr int kMemoMaxLines = 20000;
// One read takes at most this much from a connection; the rest waits in the system.
constexpr qint64 kReadChunk = 64 * 1024;
// Answers waiting for a client that does not read them; past it the connection is closed.
constexpr qint64 kMaxUnsent = 1024 * 1024;
// The memo keeps a count of lines; each line of a read's entry is cut here, so that the memo's
// size is bounded too.
constexpr qsizetype kMaxShown = 200;

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

// The word for a socket error, by the kinds the memo has always named.
QString ErrorWord(QAbstractSocket::SocketError error, const QTcpSocket& socket) {
    static const char* const words[] = {"General",    "Send",   "Receive", "Connect",
                                        "Disconnect", "Accept", "Lookup",  "Empty"};
    int kind = 0;
    switch (error) {
    case QAbstractSocket::NetworkError:
        kind = socket.bytesToWrite() > 0 ? 1 : 2;
        break;
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::SocketTimeoutError:
        kind = 3;
        break;
    case QAbstractSocket::HostNotFoundError:
        kind = 6;
        break;
    default:
        kind = 0;
    }
    return QLatin1String(words[kind]);
}

// Line ends as they came (CR LF, CR or LF) become the memo's own.
QString ForMemo(const QByteArray& bytes) {
    QString text = FromDevice(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    if (text.size() <= kMaxShown) return text;
    QStringList lines = text.split(QChar('\n'));
    for (QString& line : lines)
        if (line.size() > kMaxShown)
            line = line.left(kMaxShown) + QStringLiteral(" [%1 characters]").arg(line.size());
    return lines.join(QChar('\n'));
}

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

    HttpServer = new QTcpServer(this);
    connect(HttpServer, &QTcpServer::newConnection, this, GuardedSlot([this] {
                while (QTcpSocket* socket = HttpServer->nextPendingConnection())
                    HttpServerClientConnect(socket);
            }));
    connect(HttpServer, &QTcpServer::acceptError, this,
            GuardedSlot([this] { Log(QStringLiteral("0: Error on Accept")); }));
}

TFormQLOWS::~TFormQLOWS() {
    // The sockets go with the server; none may call back into a window being destroyed.
    for (auto& [socket, record] : clients_)
        socket->disconnect(this);
    clients_.clear();
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
    HttpServer->close();
    std::vector<QTcpSocket*> sockets;
    for (const auto& [socket, record] : clients_)
        sockets.push_back(socket);
    for (QTcpSocket* socket : sockets) {
        socket->abort(); // normally ends in HttpServerClientDisconnect
        DropClient(socket);
    }
    Say(QStringLiteral("Server stoped !"));
    BtnStart->setEnabled(true);
    BtnStop->setEnabled(false);
}

void TFormQLOWS::ServerCreate() {
    // The socket is made here rather than by QTcpServer so that a refusal carries the
    // system's own text and number.
    const int fd = OpenListeningSocket(listenAddress_.toIPv4Address(), port_);
    if (!HttpServer->setSocketDescriptor(fd)) {
        ::close(fd);
        throw Failure(QStringLiteral("Erreur socket : %1, avec l'API 'listen'")
                          .arg(HttpServer->errorString()));
    }
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

void TFormQLOWS::HttpServerClientConnect(QTcpSocket* socket) {
    const int id = ++ClientCounter;
    auto send = [this, socket, id](const QByteArray& bytes) {
        socket->write(bytes);
        if (socket->bytesToWrite() <= kMaxUnsent) return true;
        Log(QStringLiteral("%1: Answers not read, connection closed").arg(id));
        return false;
    };
    clients_[socket] =
        std::make_shared<TClientData>(id, focuser_, send, [this](const QString& e) { Log(e); });
    socket->setReadBufferSize(kReadChunk);
    connect(socket, &QTcpSocket::readyRead, this,
            GuardedSlot([this, socket] { HttpServerClientRead(socket); }));
    connect(socket, &QTcpSocket::disconnected, this,
            GuardedSlot([this, socket] { HttpServerClientDisconnect(socket); }));
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) {
                Guarded([&] { HttpServerClientError(socket, error); });
            });
}

std::shared_ptr<TClientData> TFormQLOWS::Record(QTcpSocket* socket, int line) {
    const auto found = clients_.find(socket);
    if (found == clients_.end())
        throw Failure(QStringLiteral("Echec de l'assert (QLOWebServer, ligne %1)").arg(line));
    return found->second;
}

void TFormQLOWS::HttpServerClientRead(QTcpSocket* socket) {
    // Held here so that the record outlives its connection's end until this read is handled.
    const std::shared_ptr<TClientData> client = Record(socket, __LINE__);
    const QByteArray text = socket->readAll();
    if (text.isEmpty()) return;
    Log(QStringLiteral("%1 Read: %2").arg(QString::number(client->Id), ForMemo(text)));
    if (!client->HandleReceived(text)) socket->abort();
}

void TFormQLOWS::HttpServerClientDisconnect(QTcpSocket* socket) {
    DropClient(socket);
}

void TFormQLOWS::HttpServerClientError(QTcpSocket* socket, QAbstractSocket::SocketError error) {
    // The client closing is how a connection normally ends, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError) return;
    const int id = Record(socket, __LINE__)->Id;
    Log(QStringLiteral("%1: Error on %2").arg(QString::number(id), ErrorWord(error, *socket)));
}

void TFormQLOWS::DropClient(QTcpSocket* socket) {
    if (clients_.erase(socket) == 0) return;
    socket->disconnect(this);
    socket->deleteLater();
}
