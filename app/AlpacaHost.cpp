// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlpacaHost.h"

#include "AlpacaForm.h"
#include "AlpacaServer.h"
#include "AlpacaService.h"
#include "DewDevices.h"
#include "FocuserDevice.h"
#include "HostAddress.h"
#include "MainForm.h"
#include "QrCode.h"

#include <QSysInfo>

TAlpacaHost* AlpacaHost = nullptr;

namespace {

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
