// SPDX-License-Identifier: GPL-3.0-or-later
#include "Focuser.h"

#include "Commands.h"
#include "Convert.h"
#include "Failure.h"
#include "Telemetry.h"

#include <cstdlib>

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
    // A running exchange owns the line; this tick is skipped.
    if (!Connected() || Busy()) return;
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
    if (ReadChunk(chunk)) Take(chunk);
}

bool TFocuser::Take(const std::optional<QByteArray>& chunk) {
    FocuserRx rx{RxBuffer, Position, Temp};
    bool position = false;
    auto store = [this](const FocuserRx& state) {
        RxBuffer = state.buffer;
        Position = state.position;
        Temp = state.temp;
    };
    ReceiveFocuserChunk(
        rx, chunk, Name(), [this](const QString& line) { Log(line); },
        [&](const FocuserRx& state, FocuserValue taken) {
            store(state);
            if (taken == FocuserValue::Temperature) hasTemp_ = true;
            if (taken == FocuserValue::Position) position = true;
            emit Reading(taken);
        });
    store(rx);
    return position;
}

void TFocuser::Greet() {
    WriteOrLog(focuser::kManualMode, WriteErrorPrefix());
    TempComp = false;
}

void TFocuser::BeforeClose() {
    // A focuser is left in manual mode; a failed write does not stop the close.
    WriteOrLog(focuser::kManualMode, WriteErrorPrefix());
}

QCoro::Task<QByteArray> TFocuser::Ask(QByteArray command) {
    Link().WriteText(command);
    co_await Pause(kAnswerPauseMs);
    co_return Read();
}

QCoro::Task<TFocuser::SettingsRead> TFocuser::ReadSettings() {
    const TTurn turn = co_await Turn();
    co_return co_await AskSettings();
}

QCoro::Task<TFocuser::SettingsRead> TFocuser::ResetSettings() {
    const TTurn turn = co_await Turn();
    try {
        co_await Ask(focuser::kFactoryReset); // its answer is not used
    } catch (const TCancelled&) {
        throw;
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur écriture ") + Link().objectName() + QStringLiteral(" SEERAZ :") +
            e.Message());
    }
    co_return co_await AskSettings();
}

QCoro::Task<TFocuser::SettingsRead> TFocuser::AskSettings() {
    return number_ == 1 ? AskSettingsQLO() : AskSettingsQLO2();
}

QCoro::Task<TFocuser::SettingsRead> TFocuser::AskSettingsQLO() {
    SettingsRead read;
    Log(QStringLiteral("QLOForm tx: ") + QLatin1String(focuser::kAskSign));
    try {
        const QByteArray reply = co_await Ask(focuser::kAskSign);
        if (reply.size() < 3) {
            // No answer: the sign is taken as set.
            read.sign = true;
            Log(QStringLiteral("QLOForm NOK rx:") + FromDevice(reply));
        } else {
            Log(QStringLiteral("QLOForm OK rx:") + FromDevice(reply));
            read.sign = focuser::SignFlag(reply);
        }
    } catch (const TCancelled&) {
        throw;
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur écriture ComPortQLO [GetValues FTAXXA] :") + e.Message());
    }
    try {
        read.reply = co_await Ask(focuser::kAskSettings);
    } catch (const TCancelled&) {
        throw;
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur écriture ComPortQLO [GetValues SGETAL] :") + e.Message());
    }
    co_return read;
}

QCoro::Task<TFocuser::SettingsRead> TFocuser::AskSettingsQLO2() {
    // One text for both replies: after a failure the settings are decoded from what was read
    // so far (a sign reply that did not convert, or nothing).
    SettingsRead read;
    try {
        read.reply = co_await Ask(focuser::kAskSign);
        read.sign = focuser::SignFlag(read.reply);
        read.reply.clear();
        read.reply = co_await Ask(focuser::kAskSettings);
    } catch (const TCancelled&) {
        throw;
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur écriture ComPortQLO2 [GetValues] :") + e.Message());
    }
    co_return read;
}

QCoro::Task<> TFocuser::SaveSettings(TFocuserSettingsInput s) {
    using namespace focuser;
    const TTurn turn = co_await Turn();
    auto optional = [this](const std::optional<QByteArray>& command, const QString& message) {
        if (command)
            Link().WriteText(*command);
        else
            Log(message);
    };
    // The rotation follows the speed without a pause.
    if (const QByteArray speed = SpeedCommand(s.speedItem); !speed.isEmpty())
        Link().WriteText(speed);
    Link().WriteText(RotationCommand(s.reversed));
    co_await Pause(kAnswerPauseMs);
    Link().WriteText(HalfStepCommand(s.halfSteps));
    co_await Pause(kAnswerPauseMs);
    optional(MaxPositionCommand(s.maxPosition), kFiveDigitMessage);
    co_await Pause(kAnswerPauseMs);
    optional(CoefficientCommand(s.coefficient), kThreeDigitMessage);
    co_await Pause(kAnswerPauseMs);
    Link().WriteText(SignCommand(s.sign));
    co_await Pause(kAnswerPauseMs);
    optional(ThresholdCommand(s.threshold), kThreeDigitMessage);
    co_await Pause(kAnswerPauseMs);
    Read(); // whatever the focuser said to the whole sequence
}

QCoro::Task<> TFocuser::SetTempComp(bool on) {
    TempComp = on;
    emit TempCompChanged();
    const TTurn turn = co_await Turn();
    const QString mode = on             ? QStringLiteral(" FAMode :")
                         : number_ == 1 ? QStringLiteral(" FMMode :")
                                        : QStringLiteral(" FMmode :");
    WriteOrLog(on ? focuser::kAutoMode : focuser::kManualMode,
               QStringLiteral("Erreur ecriture ") + Link().objectName() + mode);
    co_await Pause(kAnswerPauseMs);
}

QCoro::Task<TFocuser::MoveEnd> TFocuser::MoveBy(bool in, int steps) {
    const TTurn turn = co_await Turn();
    co_return co_await Move(in, steps);
}

QCoro::Task<TFocuser::MoveEnd> TFocuser::MoveTo(int target) {
    const TTurn turn = co_await Turn();
    // Measured from where the focuser stands now, not where the last poll found it: a move that
    // waited behind others starts where they left it.
    const QString errorPrefix =
        QStringLiteral("Erreur lecture ") + Link().objectName() + QStringLiteral(" MoveTo :");
    QByteArray reply;
    try {
        Log(Name() + QStringLiteral(" Tx: ") + QLatin1StringView(focuser::kAskPosition));
        reply = co_await Ask(focuser::kAskPosition);
    } catch (const TCancelled&) {
        throw;
    } catch (const Failure& e) {
        Log(errorPrefix + e.Message());
        throw;
    }
    // Taken as a poll's reply is: shown, and the position stored.
    if (!Take(reply)) {
        const Failure failure(
            QStringLiteral("no position in the reply '%1'").arg(FromDevice(reply)));
        Log(errorPrefix + failure.Message());
        throw failure;
    }
    const int steps = std::abs(target - Position);
    if (steps > focuser::kMaxMoveSteps) {
        const Failure failure(
            QStringLiteral("%1 is %2 steps away, more than one move goes").arg(target).arg(steps));
        Log(errorPrefix + failure.Message());
        throw failure;
    }
    if (steps == 0) co_return MoveEnd::Done;
    co_return co_await Move(target < Position, steps);
}

QCoro::Task<TFocuser::MoveEnd> TFocuser::Move(bool in, int steps) {
    const QString link = Link().objectName();
    const QString what = in ? QStringLiteral(" MoveIn :") : QStringLiteral(" MoveOut :");
    const QString writeError =
        (in ? QStringLiteral("Erreur écriture ") : QStringLiteral("Erreur ecriture ")) + link +
        what;
    const int limitMs = focuser::MoveWaitLimitMs(steps);
    moving_ = true;
    emit MoveStarted();
    struct Ended {
        TFocuser& f;
        MoveEnd end = MoveEnd::LinkLost;
        ~Ended() {
            f.moving_ = false;
            emit f.MoveEnded(end);
        }
    } ended{*this};
    WriteOrLog(focuser::MoveCommand(in, QString::number(steps)), writeError);
    ended.end = co_await WaitForMoveEnd(limitMs, QStringLiteral("Erreur lecture ") + link + what);
    switch (ended.end) {
    case MoveEnd::Done:
        break;
    case MoveEnd::TimedOut:
        Log(QStringLiteral("Erreur fin de mouvement ") + link + what +
            QStringLiteral("no \"*\" within %1 ms").arg(limitMs));
        break;
    case MoveEnd::LinkLost:
        Log(QStringLiteral("Erreur fin de mouvement ") + link + what + QStringLiteral("link lost"));
        break;
    }
    co_return ended.end;
}

QCoro::Task<TFocuser::MoveEnd> TFocuser::WaitForMoveEnd(int limitMs, QString readError) {
    for (int waited = 0; waited < limitMs;) {
        co_await Pause(kMovePauseMs);
        waited += kMovePauseMs;
        try {
            if (Read().contains(focuser::kMoveDone)) co_return MoveEnd::Done;
        } catch (const Failure& e) {
            Log(readError + e.Message());
        }
        // A closed or unplugged link will never bring the mark.
        if (!Connected() || Link().HungUp()) co_return MoveEnd::LinkLost;
    }
    co_return MoveEnd::TimedOut;
}
