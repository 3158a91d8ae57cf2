// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortList.h"

#include "PortsFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Asks the port itself whether a chip sits in its UART slot. A port that refuses to open for
// want of rights or because another program holds it may well be real: it stays listed, and
// its open error at Connect All tells the user why it cannot be used.
bool PortReportsNoChip(const QString& device) {
    const int fd =
        ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return error != EACCES && error != EPERM && error != EBUSY;
    }
    serial_struct info{};
    const bool phantom = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type == PORT_UNKNOWN;
    ::close(fd);
    return phantom;
}

// A legacy UART slot without a chip has the type PORT_UNKNOWN; probing it would only cost six
// seconds. The serial core publishes the type in sysfs, readable by every user without opening
// the port; only when that file is missing is the port asked.
bool IsPhantomUart(const QString& ttyDir, const QString& device) {
    QFile type(ttyDir + QStringLiteral("/type"));
    if (type.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int value = type.readAll().trimmed().toInt(&ok);
        if (ok) return value == PORT_UNKNOWN;
    }
    return PortReportsNoChip(device);
}

// Ttys that carry the system console: the kernel writes there, no accessory sits behind them.
QStringList ConsoleTtys(const QString& sysroot) {
    QStringList names;
    QFile consoles(sysroot + QStringLiteral("/proc/consoles"));
    if (!consoles.open(QIODevice::ReadOnly)) return names;
    for (const QByteArray& line : consoles.readAll().split('\n'))
        if (const QByteArray name = line.simplified().split(' ').value(0); !name.isEmpty())
            names << QString::fromLatin1(name);
    return names;
}

PortSource& Source() {
    static PortSource source;
    return source;
}

} // namespace

QStringList SortPortNames(QStringList names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

QStringList HardwarePorts(const QString& sysroot) {
    QStringList ports;
    const QDir classDir(sysroot + QStringLiteral("/sys/class/tty"));
    const QStringList consoles = ConsoleTtys(sysroot);
    for (const QString& name :
         classDir.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot)) {
        if (!QFileInfo::exists(classDir.filePath(name) + QStringLiteral("/device"))) continue;
        if (consoles.contains(name)) continue;
        const QString device = QStringLiteral("/dev/") + name;
        if (name.startsWith(QLatin1String("ttyS")) &&
            IsPhantomUart(classDir.filePath(name), device))
            continue;
        ports << device;
    }
    return ports;
}

QStringList FolderPorts(const QString& folder) {
    QStringList ports;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        ports << dir.filePath(name);
    return ports;
}

QStringList MergePorts(const QStringList& hardware, const QStringList& folder) {
    QSet<QString> named;
    for (const QString& entry : folder)
        if (const QString target = QFileInfo(entry).canonicalFilePath(); !target.isEmpty())
            named.insert(target);
    QStringList ports = folder;
    for (const QString& port : hardware)
        if (!named.contains(QFileInfo(port).canonicalFilePath())) ports << port;
    return ports;
}

PortSource SetPortSource(PortSource source) {
    PortSource old = std::move(Source());
    Source() = std::move(source);
    return old;
}

QStringList ListPorts() {
    if (Source()) return SortPortNames(Source()());
    return SortPortNames(MergePorts(HardwarePorts(), FolderPorts(PortsFolder())));
}
