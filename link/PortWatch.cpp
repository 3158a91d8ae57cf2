// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortWatch.h"

#include <sys/stat.h>

TPortWatch::TPortWatch(QString port, int intervalMs) : port_(std::move(port)) {
    lost_ = PortNode(port_);
    timer_.setInterval(intervalMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
    timer_.start();
}

std::optional<TPortNode> PortNode(const QString& path) {
    struct stat node {};
    if (::stat(path.toLocal8Bit().constData(), &node) != 0) return std::nullopt;
    return TPortNode(node.st_ino, node.st_rdev);
}

void TPortWatch::Rearm() {
    lost_ = PortNode(port_);
    told_ = false;
}

void TPortWatch::Look() {
    if (told_) return;
    const auto now = PortNode(port_);
    if (!now) {
        lost_.reset(); // gone: whatever comes next is back
        return;
    }
    if (lost_ && *now == *lost_) return;
    told_ = true;
    if (OnBack) OnBack();
}
