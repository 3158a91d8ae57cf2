// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlpacaForm.h"

#include "AlpacaServer.h"
#include "Controls.h"
#include "ErrorReport.h"

#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

using look::Make;

namespace {
// The memo keeps its newest lines: a night of clients coming and going stays light.
constexpr int kMemoMaxLines = 2000;
} // namespace

TFormAlpaca::TFormAlpaca(TAlpacaServer& server, QWidget* parent)
    : QWidget(parent, Qt::Window), server_(server),
      addressSource_([] { return QStringLiteral("127.0.0.1"); }) {
    setObjectName(QStringLiteral("FormAlpaca"));
    setWindowTitle(QStringLiteral("Alpaca server"));
    resize(344, 420);
    look::Style(this, 11);
    LabelAlpacaHelp = Make<QLabel>(this, "LabelAlpacaHelp", 8, 4, 328, 48);
    LabelAlpacaHelp->setWordWrap(true);
    LabelAlpacaHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelAlpacaPort = look::Label(this, "LabelAlpacaPort", 8, 60, QStringLiteral("Port :"), 11);
    SpinEditAlpacaPort = Make<QSpinBox>(this, "SpinEditAlpacaPort", 80, 56, 73, 22);
    SpinEditAlpacaPort->setRange(0, 65535);
    SpinEditAlpacaPort->setValue(server_.Port());
    LabelAlpacaDiscoveryPort =
        look::Label(this, "LabelAlpacaDiscoveryPort", 170, 60, QStringLiteral("Discovery :"), 11);
    SpinEditAlpacaDiscoveryPort =
        Make<QSpinBox>(this, "SpinEditAlpacaDiscoveryPort", 263, 56, 73, 22);
    // Clients ask a port they know: a free one taken at random would find nobody.
    SpinEditAlpacaDiscoveryPort->setRange(1, 65535);
    SpinEditAlpacaDiscoveryPort->setValue(server_.DiscoveryPort());
    connect(SpinEditAlpacaDiscoveryPort, &QSpinBox::valueChanged, this, GuardedSlot([this] {
                server_.SetDiscoveryPort(quint16(SpinEditAlpacaDiscoveryPort->value()));
                ShowHelp();
            }));
    LabelAlpacaAddress =
        look::Label(this, "LabelAlpacaAddress", 8, 86, QStringLiteral("Address : "), 11);
    LabelAlpacaClients =
        look::Label(this, "LabelAlpacaClients", 8, 106, QStringLiteral("Clients : 0"), 11);
    MemoAlpacaLog = Make<QPlainTextEdit>(this, "MemoAlpacaLog", 8, 124, 328, 80);
    MemoAlpacaLog->setReadOnly(true);
    MemoAlpacaLog->setMaximumBlockCount(kMemoMaxLines);
    BtnAlpacaStart = look::Captioned<QPushButton>(this, "BtnAlpacaStart", 8, 214, 145, 24,
                                                  QStringLiteral("Start"));
    BtnAlpacaStop = look::Captioned<QPushButton>(this, "BtnAlpacaStop", 191, 214, 145, 24,
                                                 QStringLiteral("Stop"));
    LabelAlpacaApp =
        look::Label(this, "LabelAlpacaApp", 8, 246, QStringLiteral("App : server stopped"), 11);
    ImageAlpacaAppQr = Make<QLabel>(this, "ImageAlpacaAppQr", 8, 266, 148, 148);
    ImageAlpacaAppQr->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(BtnAlpacaStart, &QPushButton::clicked, this,
            GuardedSlot([this] { BtnAlpacaStartClick(); }));
    connect(BtnAlpacaStop, &QPushButton::clicked, this,
            GuardedSlot([this] { BtnAlpacaStopClick(); }));
    connect(&server_, &TAlpacaServer::StateChanged, this, GuardedSlot([this] { ShowState(); }));
    connect(&server_, &TAlpacaServer::ClientsChanged, this, GuardedSlot([this] { ShowClients(); }));
    ShowState();
}

void TFormAlpaca::SetAddressSource(std::function<QString()> source) {
    addressSource_ = std::move(source);
    ShowState();
}

void TFormAlpaca::SetQrSource(std::function<QImage(const QString&)> source) {
    qrSource_ = std::move(source);
    ShowState();
}

QString TFormAlpaca::AppUrl() const {
    return ServerUrl() + QChar('/');
}

QString TFormAlpaca::ServerUrl() const {
    return QStringLiteral("http://%1:%2").arg(addressSource_()).arg(server_.Port());
}

void TFormAlpaca::BtnAlpacaStartClick() {
    if (server_.Listening()) return;
    server_.SetPort(quint16(SpinEditAlpacaPort->value()));
    lastError_.clear();
    try {
        server_.Start();
    } catch (const Failure& e) {
        // Said here, where the user looks for it, and not in a box.
        lastError_ = e.Message();
        Log(e.Message());
        ShowState();
    }
}

void TFormAlpaca::BtnAlpacaStopClick() {
    server_.Stop();
}

void TFormAlpaca::ShowState() {
    const bool on = server_.Listening();
    BtnAlpacaStart->setEnabled(!on);
    BtnAlpacaStop->setEnabled(on);
    SpinEditAlpacaPort->setEnabled(!on);
    SpinEditAlpacaDiscoveryPort->setEnabled(!on);
    if (on) {
        SpinEditAlpacaPort->setValue(server_.Port());
        // The port bound, without making it the setting.
        const QSignalBlocker quiet(SpinEditAlpacaDiscoveryPort);
        SpinEditAlpacaDiscoveryPort->setValue(server_.DiscoveryPort());
    }
    ShowHelp();
    LabelAlpacaAddress->setText(
        on ? QStringLiteral("Address : ") + ServerUrl()
           : QStringLiteral("Address : ") +
                 (lastError_.isEmpty() ? QStringLiteral("server stopped") : lastError_));
    LabelAlpacaApp->setText(QStringLiteral("App : ") +
                            (on ? AppUrl() : QStringLiteral("server stopped")));
    if (on && qrSource_) {
        // Whole modules: a scaled code stays sharp for a phone's camera.
        const QImage qr = qrSource_(AppUrl());
        const int scale = std::max(1, ImageAlpacaAppQr->width() / std::max(1, qr.width()));
        ImageAlpacaAppQr->setPixmap(QPixmap::fromImage(qr.scaled(qr.size() * scale)));
    } else {
        ImageAlpacaAppQr->clear();
    }
    ShowClients();
}

void TFormAlpaca::ShowHelp() {
    LabelAlpacaHelp->setText(
        QStringLiteral("NINA and other Alpaca clients on the network use the focusers, the "
                       "Brisella's sensors and its outputs. They find Skyvarn by discovery on "
                       "UDP port %1, or by the address below.")
            .arg(SpinEditAlpacaDiscoveryPort->value()));
}

void TFormAlpaca::ShowClients() {
    LabelAlpacaClients->setText(QStringLiteral("Clients : %1").arg(server_.Clients()));
}

void TFormAlpaca::Log(const QString& line) {
    MemoAlpacaLog->appendPlainText(line);
}
