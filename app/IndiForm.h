// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The INDI server's window: where clients such as Ekos find Skyvarn (this computer's address
// and the port), how many are connected, and the server's start and stop.
#include <QHostAddress>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QSpinBox;

namespace indi {
class TIndiServer;
}

class TFormIndi : public QWidget {
  public:
    explicit TFormIndi(indi::TIndiServer& server, QWidget* parent = nullptr);

    // Where the server listens: every IPv4 interface unless set otherwise; where the shown
    // address comes from: GetLocalIPAddress.
    void SetListenAddress(const QHostAddress& address);
    void SetAddressSource(std::function<QString()> source);

    // Raises Failure when the port is refused; the window then stays stopped.
    void BtnIndiStartClick();
    void BtnIndiStopClick();
    // Address, port and client count as they are now.
    void ShowState();
    // "192.168.1.20:7624" while serving.
    QString Address() const;

    QLabel* LabelIndiAddress;
    QLabel* LabelIndiPort;
    QSpinBox* SpinEditIndiPort;
    QLabel* LabelIndiClients;
    QLabel* LabelIndiHelp;
    QPushButton* BtnIndiStart;
    QPushButton* BtnIndiStop;

  private:
    indi::TIndiServer& server_;
    QHostAddress listenAddress_{QHostAddress::AnyIPv4};
    std::function<QString()> addressSource_;
    QString address_;
};
