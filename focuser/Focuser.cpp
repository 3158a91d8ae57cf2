#include "Focuser.h"

#include "Commands.h"
#include "Convert.h"
#include "Failure.h"
#include "Pause.h"
#include "Telemetry.h"

namespace {
constexpr int kAnswerPauseMs = 200;
constexpr int kMovePauseMs = 500;

QString NameOf(int number) {
    return number == 1 ? QStringLiteral("QLO") : QStringLiteral("QLO2");
}
} // namespace

TFocuser::TFocuser(int number, LogSink log, QObject* parent)
    : TDevice(NameOf(number), QStringLiteral("ComPort") + NameOf(number), std::move(log), parent),
      number_(number) {}

QString TFocuser::WriteErrorPrefix() const {
    return QStringLiteral("Erreur écriture ComPort") + Name() + QStringLiteral(" :");
}

void TFocuser::WriteOrLog(const QByteArray& command, const QString& errorPrefix) {
    try {
        Link().WriteText(command);
    } catch (const Failure& e) {
        Log(errorPrefix + e.Message());
    }
}

void TFocuser::Poll() {
    if (!Connected()) return;
    const QByteArray command = focuser::PollCommand(AskPosition);
    try {
        // Focuser 1's unread input is thrown away before each poll; focuser 2's is not. Output
        // still on its way is let out: it can only be a command just written (the greeting's
        // "FMMODE" right before the first poll), which must reach the focuser.
        if (number_ == 1) Link().PurgeBuffers(true, false);
        Link().WriteText(command);
    } catch (const Failure& e) {
        Log(WriteErrorPrefix() + e.Message());
    }
    AskPosition = !AskPosition;
    Log(Name() + QStringLiteral(" Tx: ") + FromDevice(command));
}

void TFocuser::CharsReceived() {
    std::optional<QByteArray> chunk;
    if (!ReadChunk(chunk)) return;
    FocuserRx rx{RxBuffer, Position, Temp};
    auto store = [this](const FocuserRx& state) {
        RxBuffer = state.buffer;
        Position = state.position;
        Temp = state.temp;
    };
    ReceiveFocuserChunk(
        rx, chunk, Name(), [this](const QString& line) { Log(line); },
        [&](const FocuserRx& state) {
            store(state);
            emit Reading();
        });
    store(rx);
}

void TFocuser::Greet() {
    WriteOrLog(focuser::kManualMode, WriteErrorPrefix());
    TempComp = false;
}

void TFocuser::BeforeClose() {
    // A focuser is left in manual mode; a failed write does not stop the close.
    WriteOrLog(focuser::kManualMode, WriteErrorPrefix());
}

QByteArray TFocuser::Ask(const QByteArray& command) {
    Link().WriteText(command);
    Pause(kAnswerPauseMs);
    return Read();
}

void TFocuser::SaveSettings(const TFocuserSettingsInput& s) {
    using namespace focuser;
    auto optional = [this](const std::optional<QByteArray>& command, const QString& message) {
        if (command)
            Link().WriteText(*command);
        else
            Log(message);
        Pause(kAnswerPauseMs);
    };
    // The rotation follows the speed without a pause.
    if (const QByteArray speed = SpeedCommand(s.speedItem); !speed.isEmpty())
        Link().WriteText(speed);
    Link().WriteText(RotationCommand(s.reversed));
    Pause(kAnswerPauseMs);
    Link().WriteText(HalfStepCommand(s.halfSteps));
    Pause(kAnswerPauseMs);
    optional(MaxPositionCommand(s.maxPosition), kFiveDigitMessage);
    optional(CoefficientCommand(s.coefficient), kThreeDigitMessage);
    Link().WriteText(SignCommand(s.sign));
    Pause(kAnswerPauseMs);
    optional(ThresholdCommand(s.threshold), kThreeDigitMessage);
    Read(); // whatever the focuser said to the whole sequence
}

void TFocuser::SetTempComp(bool on, const QString& writeError) {
    TempComp = on;
    WriteOrLog(on ? focuser::kAutoMode : focuser::kManualMode, writeError);
    Pause(kAnswerPauseMs);
}

TFocuser::MoveEnd TFocuser::Move(const QByteArray& command, int limitMs, const QString& writeError,
                                 const QString& readError) {
    WriteOrLog(command, writeError);
    for (int waited = 0; waited < limitMs;) {
        Pause(kMovePauseMs);
        waited += kMovePauseMs;
        try {
            if (Read().contains(focuser::kMoveDone)) return MoveEnd::Done;
        } catch (const Failure& e) {
            Log(readError + e.Message());
        }
        // A closed or unplugged link will never bring the mark.
        if (!Connected() || Link().HungUp()) return MoveEnd::LinkLost;
    }
    return MoveEnd::TimedOut;
}
