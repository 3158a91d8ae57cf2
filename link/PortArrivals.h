// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells of serial ports that appear: a tty with hardware plugged in, a new entry of the ports
// folder, or an entry that leads to a device node again. The system's notifications of changes
// in /dev and in the ports folder wake it, nothing polls; each wake is let settle a moment,
// since udev makes a node, its group and its links in several steps, and the port list is then
// compared with the last one.
#include "PortWatch.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>

class TPortArrivals : public QObject {
  public:
    // known: the ports already searched; they are told of only once they have gone and come
    // back on another node.
    explicit TPortArrivals(const QStringList& known, int settleMs = 500);

    // The ports that appeared since the last look, in port-list order.
    std::function<void(const QStringList&)> OnArrived;
    // Compares the port list with the last one now.
    void Look();

  private:
    void Watch();

    QFileSystemWatcher watcher_;
    QTimer settle_;
    std::map<QString, std::optional<TPortNode>> known_;
};
