// SPDX-License-Identifier: GPL-3.0-or-later
#include "IndiForm.h"

#include "Controls.h"
#include "ErrorReport.h"
#include "HostAddress.h"
#include "Server.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

using look::Make;

TFormIndi::TFormIndi(indi::TIndiServer& server, QWidget* parent)
    : QWidget(parent, Qt::Window), server_(server), addressSource_(GetLocalIPAddress) {
    setObjectName(QStringLiteral("FormIndi"));
    setWindowTitle(QStringLiteral("INDI server"));
    setFixedSize(264, 132);
    look::Style(this, 11);
    LabelIndiAddress = look::Label(this, "LabelIndiAddress", 8, 8, QString(), 11);
    LabelIndiPort = look::Label(this, "LabelIndiPort", 8, 32, QStringLiteral("Port :"), 11);
    SpinEditIndiPort = Make<QSpinBox>(this, "SpinEditIndiPort", 48, 28, 73, 22);
    SpinEditIndiPort->setRange(0, 65535); // 0 takes a free port
    SpinEditIndiPort->setValue(indi::TIndiServer::kDefaultPort);
    LabelIndiClients = look::Label(this, "LabelIndiClients", 136, 32, QString(), 11);
    LabelIndiHelp = Make<QLabel>(this, "LabelIndiHelp", 8, 56, 248, 30);
    LabelIndiHelp->setWordWrap(true);
    LabelIndiHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelIndiHelp->setText(
        QStringLiteral("In Ekos, add a remote INDI host with this address and port."));
    BtnIndiStart =
        look::Captioned<QPushButton>(this, "BtnIndiStart", 8, 96, 121, 24, QStringLiteral("Start"));
    BtnIndiStop =
        look::Captioned<QPushButton>(this, "BtnIndiStop", 135, 96, 121, 24, QStringLiteral("Stop"));
    connect(BtnIndiStart, &QPushButton::clicked, this,
            GuardedSlot([this] { BtnIndiStartClick(); }));
    connect(BtnIndiStop, &QPushButton::clicked, this, GuardedSlot([this] { BtnIndiStopClick(); }));
    connect(&server_, &indi::TIndiServer::Changed, this, GuardedSlot([this] { ShowState(); }));
    ShowState();
}

void TFormIndi::SetListenAddress(const QHostAddress& address) {
    listenAddress_ = address;
}

void TFormIndi::SetAddressSource(std::function<QString()> source) {
    addressSource_ = std::move(source);
}

void TFormIndi::BtnIndiStartClick() {
    if (server_.Listening()) return;
    address_ = addressSource_();
    // A computer without a network still serves the clients on it.
    if (address_.contains(QLatin1String("IP"))) address_ = QStringLiteral("127.0.0.1");
    server_.Start(listenAddress_.toIPv4Address(), quint16(SpinEditIndiPort->value()));
    ShowState();
}

void TFormIndi::BtnIndiStopClick() {
    server_.Stop();
    ShowState();
}

QString TFormIndi::Address() const {
    return address_ + QChar(':') + QString::number(server_.Port());
}

void TFormIndi::ShowState() {
    const bool on = server_.Listening();
    LabelIndiAddress->setText(on ? QStringLiteral("Serving at : ") + Address()
                                 : QStringLiteral("Stopped"));
    if (on) SpinEditIndiPort->setValue(server_.Port());
    SpinEditIndiPort->setEnabled(!on);
    LabelIndiClients->setText(QStringLiteral("Clients : %1").arg(server_.ClientCount()));
    BtnIndiStart->setEnabled(!on);
    BtnIndiStop->setEnabled(on);
}
