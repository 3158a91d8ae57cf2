// The main window's focuser polling and receiving.
#include "ComPort.h"
#include "Commands.h"
#include "Convert.h"
#include "Failure.h"
#include "MainForm.h"
#include "Telemetry.h"

namespace {
constexpr int kReadMax = 80;

void Poll(TFormMain* main, TComPort* link, bool& askPosition, bool purge, const QString& name) {
    if (!link->Connected()) return;
    const QByteArray command = focuser::PollCommand(askPosition);
    try {
        // Focuser 1's unread input is thrown away before each poll; focuser 2's is not.
        if (purge) link->PurgeBuffers(true, true);
        link->WriteText(command);
    } catch (const Failure& e) {
        main->LogDebug(QStringLiteral("Erreur écriture ComPort%1 :").arg(name) + e.Message());
    }
    askPosition = !askPosition;
    main->LogDebug(name + QStringLiteral(" Tx: ") + FromDevice(command));
}

void Receive(TFormMain* main, TComPort* link, const QString& name, QByteArray& buffer,
             int& position, double& temp) {
    std::optional<QByteArray> chunk;
    if (link->Connected()) {
        QByteArray text;
        try {
            link->ReadText(text, kReadMax);
        } catch (const Failure& e) {
            main->LogDebug(QStringLiteral("Erreur lecture ComPort%1 :").arg(name) + e.Message());
            return;
        }
        chunk = text;
    }
    FocuserRx rx{buffer, position, temp};
    auto store = [&](const FocuserRx& state) {
        buffer = state.buffer;
        position = state.position;
        temp = state.temp;
    };
    auto log = [main](const QString& line) { main->LogDebug(line); };
    ReceiveFocuserChunk(rx, chunk, name, log, [&](const FocuserRx& state) {
        store(state);
        main->setValues();
    });
    store(rx);
}
} // namespace

void TFormMain::getValuesQLO() {
    Poll(this, ComPortQLO, AskPositionQLO, true, QStringLiteral("QLO"));
    Poll(this, ComPortQLO2, AskPositionQLO2, false, QStringLiteral("QLO2"));
}

void TFormMain::QLOcharsReceived() {
    Receive(this, ComPortQLO, QStringLiteral("QLO"), RxBufferQLO, QLOPosition, QLOTemp);
}

void TFormMain::QLO2charsReceived() {
    Receive(this, ComPortQLO2, QStringLiteral("QLO2"), RxBufferQLO2, QLO2Position, QLO2Temp);
}
