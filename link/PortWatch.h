// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Watches a port whose line hung up for the device to come back: a light look at the port's
// path every second (no busy loop, nothing opened). The port is back once its path leads to
// another device node than the one that hung up (a replugged USB adapter gets a new node, as
// does a pseudo-terminal made anew).
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

// The identity of the device node a port's path leads to now (inode and device number);
// nullopt when there is none.
using TPortNode = std::pair<unsigned long long, unsigned long long>;
std::optional<TPortNode> PortNode(const QString& path);

class TPortWatch : public QObject {
  public:
    explicit TPortWatch(QString port, int intervalMs = 1000);

    const QString& Port() const { return port_; }
    // Told once per return; the watch then waits for the next one (call Rearm() to look at
    // the node the port has now as the one that went).
    std::function<void()> OnBack;
    void Rearm();

  private:
    void Look();

    QString port_;
    std::optional<TPortNode> lost_;
    QTimer timer_;
    bool told_ = false;
};
