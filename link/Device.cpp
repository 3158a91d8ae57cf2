#include "Device.h"

#include "Failure.h"

TDevice::TDevice(QString name, QString linkName, LogSink log, QObject* parent)
    : QObject(parent), name_(std::move(name)), log_(std::move(log)) {
    link_.setObjectName(linkName);
    link_.OnRxChar = [this] { CharsArrived(); };
    link_.OnAfterOpen = [this] { emit Opened(); };
    link_.OnAfterClose = [this] { emit Closed(); };
    link_.OnLineLost = [this] { emit LineLost(); };
}

TDevice::~TDevice() {
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
