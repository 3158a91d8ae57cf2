// SPDX-License-Identifier: GPL-3.0-or-later
#include "Panels.h"

TPanels::TPanels(LogSink log, QObject* parent)
    : TDevice(QStringLiteral("Panels"), QStringLiteral("ComPortPrimaryPanels"), std::move(log),
              parent) {}

QString TPanels::OpenErrorPrefix() const {
    return QStringLiteral("Erreur ouverture ComPortPanel :");
}
