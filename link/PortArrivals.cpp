// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortArrivals.h"

#include "PortList.h"
#include "PortsFolder.h"

#include <QDir>

TPortArrivals::TPortArrivals(const QStringList& known, int settleMs) {
    for (const QString& port : known)
        known_[port] = PortNode(port);
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, [this] { Look(); });
    // Each change starts the pause again: a burst of changes is looked at once, after it.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
    Watch();
}

void TPortArrivals::Watch() {
    // The folder is made if missing, so that its first entry is seen too.
    const QString folder = PortsFolder();
    QDir().mkpath(folder);
    for (const QString& path : {QStringLiteral("/dev"), folder})
        if (!watcher_.directories().contains(path)) watcher_.addPath(path);
}

void TPortArrivals::Look() {
    Watch(); // a folder removed and made again is watched again
    std::map<QString, std::optional<TPortNode>> now;
    QStringList arrived;
    for (const QString& port : ListPorts()) {
        const std::optional<TPortNode> node = PortNode(port);
        now[port] = node;
        const auto before = known_.find(port);
        if (node && (before == known_.end() || before->second != node)) arrived << port;
    }
    known_ = std::move(now);
    if (!arrived.isEmpty() && OnArrived) OnArrived(arrived);
}
