// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <thread>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The fields of /proc/self/task/<tid>/stat after the command name, from the state on.
QList<QByteArray> StatFields(int tid) {
    QFile file(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray stat = file.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

} // namespace

std::set<int> TaskIds() {
    std::set<int> ids;
    const QStringList names =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        ids.insert(name.toInt());
    return ids;
}

int NewThread(const std::set<int>& before) {
    int found = -1;
    for (int id : TaskIds()) {
        if (before.count(id)) continue;
        if (found >= 0) return -1;
        found = id;
    }
    return found;
}

void WarmUpThreads() {
    std::thread([] {}).join();
}

double ThreadCpuSeconds(int tid) {
    // schedstat starts with the time on the CPU in nanoseconds; stat counts clock ticks only.
    QFile schedstat(QStringLiteral("/proc/self/task/%1/schedstat").arg(tid));
    if (schedstat.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const double ns = schedstat.readAll().split(' ').value(0).toDouble(&ok);
        if (ok) return ns / 1e9;
    }
    // Fields 14 and 15 of stat (utime, stime), counted from the state (field 3).
    const QList<QByteArray> fields = StatFields(tid);
    if (fields.size() < 13) return -1;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

int ThreadNice(int tid) {
    const QList<QByteArray> fields = StatFields(tid); // nice is field 19
    return fields.size() < 17 ? -100 : fields[16].toInt();
}

std::set<int> FdsOn(const QString& path) {
    std::set<int> fds;
    const QString target = QFileInfo(path).canonicalFilePath();
    QDir dir(QStringLiteral("/proc/self/fd"));
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (QFileInfo(dir.filePath(name)).symLinkTarget() == target) fds.insert(name.toInt());
    }
    return fds;
}

int NewFdOn(const QString& path, const std::set<int>& before) {
    int found = -1;
    for (int fd : FdsOn(path)) {
        if (before.count(fd)) continue;
        if (found >= 0) return -1;
        found = fd;
    }
    return found;
}

int Waiting(int fd) {
    int count = -1;
    if (::ioctl(fd, FIONREAD, &count) != 0) return -1;
    return count;
}
