// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlpacaHost.h"

#include "AlpacaForm.h"
#include "AlpacaServer.h"
#include "AlpacaService.h"
#include "DewDevices.h"
#include "FocuserDevice.h"
#include "HistoryChart.h"
#include "HostAddress.h"
#include "MainForm.h"
#include "QrCode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

TAlpacaHost* AlpacaHost = nullptr;

namespace {

// The app's chart reads at most this many points a series; a night of readings every 2 s is
// thinned evenly to it.
constexpr qsizetype kHistoryPoints = 400;

// The main window's two charts for the app: each series' device, caption and points
// [minutes of the day, °C], in the order they came.
QString ChartsJson(const TFormMain& main) {
    QJsonArray series;
    for (const THistoryChart* chart : {main.ChartQLO, main.ChartBRS})
        for (int s = 0; s < chart->SeriesCount(); ++s) {
            const qsizetype count = chart->PointCount(s);
            const qsizetype step =
                std::max<qsizetype>(1, (count + kHistoryPoints - 1) / kHistoryPoints);
            QJsonArray points;
            auto add = [&](qsizetype i) {
                points.append(QJsonArray{chart->PointLabelMinutes(s, i), chart->PointValue(s, i)});
            };
            for (qsizetype i = 0; i < count; i += step)
                add(i);
            if (count > 0 && (count - 1) % step != 0) add(count - 1); // the latest reading
            const THistoryChart::SeriesNames& names = chart->SeriesName(s);
            series.append(QJsonObject{{QStringLiteral("device"), names.device},
                                      {QStringLiteral("name"), names.column},
                                      {QStringLiteral("points"), points}});
        }
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("series"), series}})
                                 .toJson(QJsonDocument::Compact));
}

TServerInfo ServerInfo() {
    TServerInfo info;
    info.version = QStringLiteral(SKYVARN_VERSION);
    info.location = QSysInfo::machineHostName();
    // The system's machine id where there is one; the name otherwise.
    const QByteArray machine = QSysInfo::machineUniqueId();
    info.machineKey = machine.isEmpty() ? info.location : QString::fromLatin1(machine);
    return info;
}

} // namespace

TAlpacaHost::TAlpacaHost(TFormMain& main)
    : focuser1_(std::make_unique<TAlpacaFocuser>(*main.QLO, 0)),
      focuser2_(std::make_unique<TAlpacaFocuser>(*main.QLO2, 1)),
      conditions_(std::make_unique<TAlpacaConditions>(*main.BRS)),
      switches_(std::make_unique<TAlpacaSwitches>(*main.BRS)),
      service_(std::make_unique<TAlpacaService>(
          ServerInfo(), QList<TAlpacaDevice*>{focuser1_.get(), focuser2_.get(), conditions_.get(),
                                              switches_.get()})) {
    server_ = std::make_unique<TAlpacaServer>(*service_, [this](const QString& line) {
        if (form_) form_->Log(line);
    });
    form_ = std::make_unique<TFormAlpaca>(*server_);
    form_->SetAddressSource(GetLocalIPAddress);
    conditions_->SetHistorySource([&main] { return ChartsJson(main); });
    form_->SetQrSource([](const QString& url) {
        const TQrMatrix matrix = EncodeQr(url);
        QImage image(matrix.Size, matrix.Size, QImage::Format_RGB32);
        for (int row = 0; row < matrix.Size; ++row)
            for (int column = 0; column < matrix.Size; ++column)
                image.setPixelColor(column, row, matrix.At(column, row) ? Qt::black : Qt::white);
        return image;
    });
    // Clients ask the focusers' maximum when they connect: it is read while nothing else runs.
    QObject::connect(server_.get(), &TAlpacaServer::StateChanged, server_.get(), [this] {
        for (TAlpacaFocuser* focuser : {focuser1_.get(), focuser2_.get()})
            focuser->SetServing(server_->Listening());
    });
}

TAlpacaHost::~TAlpacaHost() {
    // The window and the sockets first; the devices' calls have ended with their links.
    form_.reset();
    server_.reset();
}
