// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "AlpacaForm.h"
#include "AlpacaHost.h"
#include "AlpacaServer.h"

#include "Convert.h"
#include "DewController.h"
#include "Discovery.h"
#include "ErrorReport.h"
#include "Focuser.h"
#include "IndiForm.h"
#include "MainForm.h"
#include "QLOForm.h"
#include "QLOWebserver.h"
#include "QrCode.h"
#include "ReadingRecorder.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTextBlock>
#include <QTimer>

#include <iostream>

namespace {

std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}

// The recorder lives as long as the main window and its devices. Without a display nobody reads
// the notifications: a file that cannot be written is said on the error output.
void Record(const QString& path, bool offscreen) {
    TReadingRecorder::Report report = [](const QString& message) { FormMain->LogNotifs(message); };
    if (offscreen)
        report = [](const QString& message) {
            std::cerr << "skyvarn: " << WithFullStop(message) << std::endl;
        };
    auto* recorder = new TReadingRecorder(path, std::move(report), FormMain);
    for (const TFocuser* focuser : {FormMain->QLO, FormMain->QLO2})
        recorder->Watch(*focuser, FormMain->DeviceTitle(*focuser));
    recorder->Watch(*FormMain->BRS, FormMain->DeviceTitle(*FormMain->BRS));
}

} // namespace

void ChooseOffscreenWithoutDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(name)) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

std::optional<int> ReadStartOptions(const QStringList& arguments, TStartOptions& options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Controls the Quillo focusers, the Brisella dew-heater controller and the\n"
                       "Morvessa panels unit, and serves a phone control page. Without options\n"
                       "it shows its windows and waits for a click on Connect All."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show these options."));
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("Press Connect All once the windows are up."));
    const QCommandLineOption hotplug(
        QStringLiteral("hotplug"),
        QStringLiteral("Find accessories plugged in later, as the main window's context menu "
                       "item does: from the end of Connect All until Disconnect All, a serial "
                       "port that appears is asked who it is, and its accessory is connected "
                       "and polled when its place (focuser 2, the dew controller, the panels "
                       "unit) is free. The ports already in use are not asked."));
    const QCommandLineOption remote(
        QStringLiteral("remote"),
        QStringLiteral("Start the phone control server as the remote access window's Start does "
                       "and print the page's address and its QR code. With --connect, focuser 1 "
                       "is also selected in the focuser settings window when it was found, so "
                       "that the page moves it on a machine without a screen."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The phone control server's TCP port (default 1321; 0 takes a free one)."),
        QStringLiteral("N"));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral(
            "Append every reading of the accessories to FILE.csv as it comes, a CSV line "
            "per value: time, device, quantity, value."),
        QStringLiteral("FILE.csv"));
    const QCommandLineOption alpaca(
        QStringLiteral("alpaca"),
        QStringLiteral("Start the Alpaca server as its window's Start does (discovery on UDP "
                       "32227) and print its address, so that NINA and other Alpaca clients use "
                       "the accessories, then the address of its app for phones and tablets and "
                       "its QR code."));
    const QCommandLineOption alpacaPort(
        QStringLiteral("alpaca-port"),
        QStringLiteral("The Alpaca server's TCP port (default 11111; 0 takes a free one)."),
        QStringLiteral("N"));
    const QCommandLineOption alpacaDiscoveryPort(
        QStringLiteral("alpaca-discovery-port"),
        QStringLiteral("The UDP port Alpaca discovery answers on, for this run (default the "
                       "Alpaca server window's, 32227)."),
        QStringLiteral("N"));
    const QCommandLineOption indi(
        QStringLiteral("indi"),
        QStringLiteral("Start the INDI server as its window's Start does and print its address, "
                       "for Ekos and other INDI clients."));
    const QCommandLineOption indiPort(
        QStringLiteral("indi-port"),
        QStringLiteral("The INDI server's TCP port (default 7624; 0 takes a free one)."),
        QStringLiteral("N"));
    parser.addOptions({help, connect, hotplug, remote, port, record, alpaca, alpacaPort,
                       alpacaDiscoveryPort, indi, indiPort});

    auto wrong = [&](const QString& why) {
        std::cerr << "skyvarn: " << why << "\n" << parser.helpText();
        return 2;
    };
    if (!parser.parse(arguments)) return wrong(parser.errorText());
    if (parser.isSet(help)) {
        std::cout << parser.helpText() << std::flush;
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return wrong(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    options.connect = parser.isSet(connect);
    options.hotplug = parser.isSet(hotplug);
    options.remote = parser.isSet(remote);
    options.alpaca = parser.isSet(alpaca);
    options.indi = parser.isSet(indi);
    int discovery = kAlpacaDiscoveryPort;
    for (const auto& [option, value] :
         {std::pair{&port, &options.port}, std::pair{&alpacaPort, &options.alpacaPort},
          std::pair{&alpacaDiscoveryPort, &discovery}, std::pair{&indiPort, &options.indiPort}}) {
        if (!parser.isSet(*option)) continue;
        const QString text = parser.value(*option);
        int number = -1;
        try {
            number = StrToInt(text);
        } catch (const Failure&) {
        }
        if (number < 0 || number > 65535)
            return wrong(QStringLiteral("--%1 needs a number from 0 to 65535, not '%2'")
                             .arg(option->names().first(), text));
        *value = number;
    }
    if (parser.isSet(alpacaDiscoveryPort)) {
        // Clients ask a port they know: a free one taken at random would find nobody.
        if (discovery == 0)
            return wrong(
                QStringLiteral("--alpaca-discovery-port needs a number from 1 to 65535, not '%1'")
                    .arg(parser.value(alpacaDiscoveryPort)));
        options.alpacaDiscoveryPort = discovery;
    }
    if (parser.isSet(record)) {
        options.record = parser.value(record);
        if (options.record.isEmpty()) return wrong(QStringLiteral("--record needs a file name"));
    }
    return std::nullopt;
}

void ApplyStartOptions(const TStartOptions& options) {
    FormQLOWS->SetServerPort(quint16(options.port));
    AlpacaHost->Form().SpinEditAlpacaPort->setValue(options.alpacaPort);
    if (options.alpacaDiscoveryPort)
        AlpacaHost->Form().SpinEditAlpacaDiscoveryPort->setValue(*options.alpacaDiscoveryPort);
    FormIndi->SpinEditIndiPort->setValue(options.indiPort);
    FormMain->SetHotplug(options.hotplug);
    const bool offscreen = QGuiApplication::platformName() == QLatin1String("offscreen");
    if (!options.record.isEmpty()) Record(options.record, offscreen);
    if (offscreen) {
        // The notifications go to the standard output too, where a service's journal keeps
        // them.
        FormMain->EchoNotifs = [](const QString& line) { std::cout << line << std::endl; };
        if (!options.remote && !options.alpaca && !options.indi)
            std::cerr << "skyvarn: no display, the windows are not shown; --connect --remote "
                         "serves the phone control page, --connect --alpaca the Alpaca server"
                      << std::endl;
        // Nobody would see the error boxes, and they would pile up through the night.
        SetErrorReporter(
            [](const QString& message) { std::cerr << "skyvarn: " << message << std::endl; });
    }
    if (!options.connect && !options.remote && !options.alpaca && !options.indi) return;
    // Queued, so that the windows are shown before Connect All starts.
    QTimer::singleShot(0, FormMain,
                       [options] { Launch(RunStartOptions(options, std::cout, std::cerr)); });
}

QCoro::Task<> RunStartOptions(TStartOptions options, std::ostream& out, std::ostream& err) {
    // The page is served once the accessories are connected, as after a click that has ended.
    if (options.connect && !FormMain->Searching()) co_await FormMain->ConnectAll();
    if (options.alpaca) StartAlpaca(out, err);
    if (options.indi) {
        try {
            FormIndi->BtnIndiStartClick();
            out << "INDI server: " << FormIndi->Address() << std::endl;
        } catch (const Failure& e) {
            err << "skyvarn: the INDI server did not start: " << e.Message() << std::endl;
        }
    }
    if (!options.remote) co_return;
    // Without a screen nobody can pick the focuser that the page moves.
    if (options.connect && FormMain->QLO->Connected() &&
        !FormQLO->RadioButtonFocuser1->isChecked() && !FormQLO->RadioButtonFocuser2->isChecked())
        FormQLO->RadioButtonFocuser1->setChecked(true);
    try {
        FormQLOWS->BtnStartClick();
    } catch (const Failure& e) {
        err << "skyvarn: the phone control server did not start: " << e.Message() << std::endl;
        co_return;
    }
    if (!FormQLOWS->HttpServer->isListening()) {
        // Refused: the window's memo says why.
        err << "skyvarn: " << FormQLOWS->MemoHttpTraffic->document()->lastBlock().text()
            << std::endl;
        co_return;
    }
    out << RemoteBanner(FormQLOWS->QrText) << std::flush;
}

void StartAlpaca(std::ostream& out, std::ostream& err) {
    TFormAlpaca& form = AlpacaHost->Form();
    form.BtnAlpacaStartClick();
    if (!AlpacaHost->Server().Listening()) {
        // Refused: the window's log says why.
        err << "skyvarn: the Alpaca server did not start: "
            << form.MemoAlpacaLog->document()->lastBlock().text() << std::endl;
        return;
    }
    out << "Alpaca server: " << form.ServerUrl() << " (discovery on UDP "
        << AlpacaHost->Server().DiscoveryPort() << ")" << std::endl;
    out << QStringLiteral("App for phones and tablets: ") + form.AppUrl() + QChar('\n') +
               QrForTerminal(EncodeQr(form.AppUrl()))
        << std::flush;
}

QString RemoteBanner(const QString& url) {
    return QStringLiteral("Phone control page: ") + url + QChar('\n') +
           QrForTerminal(EncodeQr(url));
}
