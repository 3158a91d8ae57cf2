// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The setup pages of the Management API: what a browser shows at /setup and at each device's
// /setup/v1/{type}/{n}/setup. Skyvarn's devices are set up in its own windows, so the pages
// show each device's state and say where its settings are.
#include <QByteArray>
#include <QString>

class TAlpacaService;
class TAlpacaDevice;

QByteArray ServerPage(const TAlpacaService& service);
QByteArray DevicePage(const TAlpacaService& service, const TAlpacaDevice& device);
QByteArray NoSuchDevicePage(const QString& path);
