// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Remote-access window: starts and stops the phone control server, shows this computer's
// address and the QR code of the server's URL, and logs the server's traffic.
#include "Front.h"
#include "RemoteFocuser.h"

#include <QHostAddress>
#include <QImage>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QPainter;
class QPlainTextEdit;
class QPushButton;

class TFormQLOWS : public QWidget {
  public:
    static constexpr quint16 kServerPort = 1321;

    explicit TFormQLOWS(TRemoteFocuser& focuser, QWidget* parent = nullptr);
    ~TFormQLOWS() override;

    // Where the server listens: port 1321 on every IPv4 interface unless set otherwise before
    // Start (port 0 takes a free one). Where the shown address comes from: GetLocalIPAddress.
    void SetServerPort(quint16 port);
    void SetListenAddress(const QHostAddress& address);
    void SetAddressSource(std::function<QString()> source);
    // What each connection is allowed (net::TLimits' defaults unless set otherwise).
    void SetConnectionLimits(const net::TLimits& limits);
    // The port the server listens on while serving, else the one it will use.
    quint16 ServerPort() const;

    void BtnStartClick();
    void BtnStopClick();
    void ServerCreate();
    void BuildQrCode();
    void PaintBox1Paint(QPainter& painter);

    // A connection accepted: its numbered record (TClientData), which handles its reads,
    // errors and requests until the connection ends.
    std::shared_ptr<net::THandler>
    HttpServerClientConnect(const std::shared_ptr<net::TConnection>& connection);

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

    net::TFront* HttpServer;
    int ClientCounter = 0;
    QImage QrBitmap; // one pixel per module; empty until the first start
    QString QrText;  // the URL that QrBitmap encodes

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Log(const QString& entry); // traffic, shown once the current events are handled
    void ShowLog();
    void Say(const QString& line); // the window's own messages, shown at once

    TRemoteFocuser& focuser_;
    quint16 port_ = kServerPort;
    QHostAddress listenAddress_{QHostAddress::AnyIPv4};
    std::function<QString()> addressSource_;
    QStringList unshown_;
};
