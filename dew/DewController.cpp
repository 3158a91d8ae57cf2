#include "DewController.h"

#include "Commands.h"
#include "Convert.h"
#include "Failure.h"
#include "Pause.h"

namespace {
constexpr int kAnswerPauseMs = 200;
constexpr int kResetPauseMs = 500;
} // namespace

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

void TDewController::SaveCalibration(const QString& t1, const QString& t2, const QString& ta) {
    Send(QStringLiteral("BRS cmd SCAxyz :"), dew::CalibrationCommand(t1, t2, ta));
    Pause(kAnswerPauseMs);
    Read(); // the answer is not used
}

void TDewController::SaveThresholds(const QString& t1, const QString& t2) {
    Send(QStringLiteral("BRS cmd STHRxy :"), dew::ThresholdsCommand(t1, t2));
    Pause(kAnswerPauseMs);
    Read();
}

void TDewController::SaveLink(bool linked) {
    Send(QStringLiteral("BRS cmd SLINKx :"), dew::LinkCommand(linked));
    Pause(kAnswerPauseMs);
}

void TDewController::SaveMode(bool automatic, int aggressivityItem) {
    Send(QStringLiteral("BRS cmd SAUTOx :"), dew::AutoCommand(automatic));
    Pause(kAnswerPauseMs);
    Send(QStringLiteral("BRS cmd SAGGRx :"), dew::AggressivityCommand(aggressivityItem));
    Read(); // what the controller said to the three settings
}

void TDewController::Reset() {
    Link().WriteText(dew::kFactoryReset);
    Pause(kAnswerPauseMs);
    Read();
    Pause(kResetPauseMs);
}
