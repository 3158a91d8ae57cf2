// SPDX-License-Identifier: GPL-3.0-or-later
#include "Device.h"

#include "Failure.h"

#include <utility>

TDevice::TDevice(QString name, QString linkName, LogSink log, QObject* parent)
    : QObject(parent), name_(std::move(name)), log_(std::move(log)) {
    link_.setObjectName(linkName);
    link_.OnRxChar = [this] {
        if (busy_)
            heldNotification_ = true;
        else
            CharsArrived();
    };
    link_.OnAfterOpen = [this] {
        AfterOpen();
        emit Opened();
    };
    link_.OnAfterClose = [this] {
        heldNotification_ = false;
        waits_.Cancel();
        emit Closed();
    };
    link_.OnLineLost = [this] {
        waits_.Hurry();
        emit LineLost();
    };
}

TDevice::~TDevice() {
    // What still waits unwinds now, while the device is whole.
    waits_.Cancel();
    // Exit closes the port and sends nothing; nobody hears of it any more.
    link_.OnRxChar = nullptr;
    link_.OnAfterOpen = nullptr;
    link_.OnAfterClose = nullptr;
    link_.OnLineLost = nullptr;
}

void TDevice::Open(const QString& port) {
    link_.SetPort(port);
    link_.Open();
}

void TDevice::Close() {
    if (!Connected()) return;
    BeforeClose();
    link_.Close();
}

QString TDevice::OpenErrorPrefix() const {
    return QStringLiteral("Erreur ouverture ") + link_.objectName() + QStringLiteral(" :");
}

QString TDevice::CloseLogLine() const {
    return QStringLiteral("Close ") + name_ + QStringLiteral(" Port");
}

QByteArray TDevice::Read() {
    QByteArray text;
    link_.ReadText(text, kReadMax);
    return text;
}

bool TDevice::ReadChunk(std::optional<QByteArray>& chunk) {
    chunk.reset();
    if (!Connected()) return true;
    try {
        chunk = Read();
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur lecture ") + link_.objectName() + QStringLiteral(" :") +
            e.Message());
        return false;
    }
    return true;
}

void TDevice::Log(const QString& line) const {
    if (log_) log_(line);
}

TTurn& TTurn::operator=(TTurn&& other) noexcept {
    if (this != &other) {
        Release();
        device_ = std::exchange(other.device_, nullptr);
    }
    return *this;
}

void TTurn::Release() {
    if (TDevice* device = std::exchange(device_, nullptr)) device->EndTurn();
}

QCoro::Task<TTurn> TDevice::Turn() {
    if (Busy()) co_await waits_.Queue();
    SetBusy(true);
    co_return TTurn(*this);
}

void TDevice::EndTurn() {
    SetBusy(false);
    if (waits_.Queued()) {
        waits_.Next();
        return;
    }
    // Bytes that came while the exchange ran and that it left unread are read as they would
    // have been.
    if (std::exchange(heldNotification_, false))
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!busy_ && Connected()) CharsArrived();
            },
            Qt::QueuedConnection);
}

void TDevice::SetBusy(bool busy) {
    if (busy_ == busy) return;
    busy_ = busy;
    emit BusyChanged();
}
