#include "PortsFolder.h"

#include <QStandardPaths>

QString PortsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/skyvarn/ports");
}
