// SPDX-License-Identifier: GPL-3.0-or-later
#include "SetupPages.h"

#include "AlpacaService.h"

namespace {

QString Escaped(const QString& text) {
    return text.toHtmlEscaped();
}

QString Page(const QString& title, const QString& content) {
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width\">"
                          "<title>%1</title><style>body{font-family:sans-serif;margin:1em}"
                          "table{border-collapse:collapse}td,th{padding:2px 12px;text-align:left}"
                          "</style></head>\n<body><h1>%1</h1>\n%2</body></html>\n")
        .arg(Escaped(title), content);
}

QString DevicePath(const TAlpacaDevice& device) {
    return QStringLiteral("/setup/v1/%1/%2/setup")
        .arg(device.DeviceType().toLower())
        .arg(device.DeviceNumber());
}

QString StateTable(const TAlpacaDevice& device) {
    QString rows =
        QStringLiteral("<tr><th>Connected</th><td>%1</td></tr>\n")
            .arg(device.Connected() ? QStringLiteral("yes")
                                    : QStringLiteral("no: press Connect All in Skyvarn"));
    if (device.Connected())
        for (const auto& [label, value] : device.State())
            rows += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n")
                        .arg(Escaped(label), Escaped(value));
    return QStringLiteral("<table>\n%1</table>\n").arg(rows);
}

} // namespace

QByteArray ServerPage(const TAlpacaService& service) {
    const TServerInfo& info = service.Info();
    QString content =
        QStringLiteral("<p>%1 %2 on %3. The accessories are set up in Skyvarn's "
                       "own windows; Alpaca clients use them as the devices "
                       "below.</p>\n")
            .arg(Escaped(info.serverName), Escaped(info.version), Escaped(info.location));
    for (const TAlpacaDevice* device : service.Devices())
        content += QStringLiteral("<h2><a href=\"%1\">%2 %3: %4</a></h2>\n%5")
                       .arg(DevicePath(*device), Escaped(device->DeviceType()))
                       .arg(device->DeviceNumber())
                       .arg(Escaped(device->DeviceName()), StateTable(*device));
    return Page(QStringLiteral("Skyvarn Alpaca server"), content).toUtf8();
}

QByteArray DevicePage(const TAlpacaService& service, const TAlpacaDevice& device) {
    const QString content =
        QStringLiteral("<p>%1 %2, %3. UniqueID %4.</p>\n%5"
                       "<p>Its settings are in Skyvarn's windows (Details in the main window). "
                       "<a href=\"/setup\">All devices</a></p>\n")
            .arg(Escaped(device.DeviceType()))
            .arg(device.DeviceNumber())
            .arg(Escaped(device.Description()), service.UniqueId(device), StateTable(device));
    return Page(device.DeviceName(), content).toUtf8();
}

QByteArray NoSuchDevicePage(const QString& path) {
    return Page(QStringLiteral("No such device"),
                QStringLiteral("<p>No device has the setup page %1. "
                               "<a href=\"/setup\">All devices</a></p>\n")
                    .arg(Escaped(path)))
        .toUtf8();
}
