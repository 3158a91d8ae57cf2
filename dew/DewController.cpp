#include "DewController.h"

#include "Commands.h"
#include "Convert.h"
#include "Failure.h"
#include "Pause.h"

TDewController::TDewController(LogSink log, QObject* parent)
    : TDevice(QStringLiteral("BRS"), QStringLiteral("ComPortBRS"), std::move(log), parent) {}

void TDewController::Poll() {
    if (!Connected()) return;
    try {
        Link().WriteText(dew::kPoll);
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur écriture ComPortBRS :") + e.Message());
    }
    Log(QStringLiteral("BRS Tx: SGETAL"));
}

void TDewController::CharsReceived() {
    std::optional<QByteArray> chunk;
    if (!ReadChunk(chunk)) return;
    if (ReceiveDewChunk(RxBuffer, chunk, Values, [this](const QString& line) { Log(line); }))
        emit FrameParsed();
}

void TDewController::SendOutput(int output, int sliderPosition) {
    if (!Connected()) return;
    Send(QStringLiteral("BRS cmd S%1Oxxx :").arg(output),
         dew::OutputCommand(output, sliderPosition));
}

void TDewController::Send(const QString& label, const QByteArray& command) {
    Log(label + FromDevice(command));
    if (!command.isEmpty()) Link().WriteText(command);
}

void TDewController::Discard() {
    Read();
}

void TDewController::Reset() {
    Link().WriteText(dew::kFactoryReset);
    Pause(200);
    Read();
    Pause(500);
}
