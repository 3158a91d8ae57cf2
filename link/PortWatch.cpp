#include "PortWatch.h"

#include <sys/stat.h>

TPortWatch::TPortWatch(QString port, int intervalMs) : port_(std::move(port)) {
    lost_ = Node();
    timer_.setInterval(intervalMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
    timer_.start();
}

std::optional<std::pair<unsigned long long, unsigned long long>> TPortWatch::Node() const {
    struct stat node {};
    if (::stat(port_.toLocal8Bit().constData(), &node) != 0) return std::nullopt;
    return std::pair<unsigned long long, unsigned long long>(node.st_ino, node.st_rdev);
}

void TPortWatch::Rearm() {
    lost_ = Node();
    told_ = false;
}

void TPortWatch::Look() {
    if (told_) return;
    const auto now = Node();
    if (!now) {
        lost_.reset(); // gone: whatever comes next is back
        return;
    }
    if (lost_ && *now == *lost_) return;
    told_ = true;
    if (OnBack) OnBack();
}
