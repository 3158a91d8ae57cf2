// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One serial link to an accessory: 19200 bit/s, 8N1, raw, no flow control, exclusive.
// Writes and reads run on the GUI thread; an event thread only waits for input and hands the
// receive notification over to the GUI thread (see THandover).
#include "Handover.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

class TComPort : public QObject {
  public:
    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override; // closes the port, sends nothing

    QString Port() const { return port_; }
    // A different name is stored; an open link is closed and reopened under it.
    void SetPort(const QString& name);

    bool Connected() const { return fd_ >= 0; }

    // Raise Failure with the texts of the link ("Unable to open com port (Error: 2)", ...).
    void Open();
    void Close();
    // Lets go of a link whose line hung up: nothing is purged or sent, the descriptor is closed
    // (so that the system may give a replugged device its name back). Never raises.
    void Abandon();
    int WriteText(const QByteArray& text);
    int ReadText(QByteArray& text, int count);
    void PurgeBuffers(bool input, bool output);
    // The line of an open link has hung up (the device was unplugged); false when closed.
    bool HungUp() const;
    // Bytes received and not read yet; 0 when closed or unknown.
    int Pending() const;

    // Run on the GUI thread. OnRxChar: new bytes have arrived since the last notification.
    std::function<void()> OnRxChar;
    std::function<void()> OnAfterOpen;
    // The line hung up while open (device unplugged); told once per open. The link stays open.
    std::function<void()> OnLineLost;
    std::function<void()> OnAfterClose;

  private:
    void ApplySettings();
    void StartEvents();
    void StopEvents();
    void EventLoop();
    void Notify();
    void NotifyLost();

    QString port_ = QStringLiteral("COM1");
    int fd_ = -1;
    int wakeFd_ = -1;
    std::thread events_;
    std::atomic<bool> stopping_{false};
    // Bytes taken from the port by reads and purges (GUI thread); with the count still waiting
    // the event thread tells new arrivals from bytes a handler left unread.
    std::atomic<unsigned long long> taken_{0};
    THandover handover_{this};
};
