// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Alpaca server window: starts and stops the server, shows the address and port that an
// Alpaca client adds by hand, the UDP port that discovery answers on (both set here before
// Start), the clients connected, and the server's log, and the address and QR code of the app
// that the server gives phones and tablets.
#include <QImage>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class TAlpacaServer;

class TFormAlpaca : public QWidget {
  public:
    TFormAlpaca(TAlpacaServer& server, QWidget* parent = nullptr);

    // Where the shown address comes from (this computer's address on the network).
    void SetAddressSource(std::function<QString()> source);
    // What draws the app's address as a QR code.
    void SetQrSource(std::function<QImage(const QString&)> source);

    void BtnAlpacaStartClick();
    void BtnAlpacaStopClick();
    // The address as clients reach it: "http://192.168.1.20:11111".
    QString ServerUrl() const;
    // The app's address: "http://192.168.1.20:11111/".
    QString AppUrl() const;
    // The server's lines (connections closed for their limits, a refused start).
    void Log(const QString& line);

    QLabel* LabelAlpacaHelp;
    QLabel* LabelAlpacaPort;
    QSpinBox* SpinEditAlpacaPort;
    QLabel* LabelAlpacaDiscoveryPort;
    // The server's discovery port: a change is the server's from its next Start.
    QSpinBox* SpinEditAlpacaDiscoveryPort;
    QLabel* LabelAlpacaAddress;
    QLabel* LabelAlpacaClients;
    QLabel* LabelAlpacaApp;
    QLabel* ImageAlpacaAppQr;
    QPlainTextEdit* MemoAlpacaLog;
    QPushButton* BtnAlpacaStart;
    QPushButton* BtnAlpacaStop;

  private:
    void ShowState();
    void ShowHelp();
    void ShowClients();

    TAlpacaServer& server_;
    std::function<QString()> addressSource_;
    std::function<QImage(const QString&)> qrSource_;
    QString lastError_;
};
