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

TFocuser::~TFocuser() {
    // A move still waiting ends while its focuser is whole.
    CancelExchanges();
}

QString TFocuser::Title() const {
    return QStringLiteral("Quillo %1").arg(number_);
}

void TFocuser::AfterOpen() {
    // Another focuser may be behind the port now.
    hasTemp_ = false;
    hasPosition_ = false;
    stored_.reset();
}

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
    const QByteArray command = focuser::PollCommand(AskPosition);
    StartPoll(
        [&] {
            bool written = true;
            try {
                // Focuser 1's unread input is thrown away before each poll; focuser 2's is not.
                // Output still on its way is let out: it can only be a command just written
                // (the greeting's "FMMODE" right before the first poll), which must reach the
                // focuser.
                if (number_ == 1) Link().PurgeBuffers(true, false);
                Link().WriteText(command);
            } catch (const Failure& e) {
                Log(WriteErrorPrefix() + e.Message());
                written = false;
            }
            AskPosition = !AskPosition;
            Log(Name() + QStringLiteral(" Tx: ") + FromDevice(command));
            return written;
        },
        kPollBoundMs);
}

bool TFocuser::TakePollReply() {
    std::optional<QByteArray> chunk;
    if (!ReadChunk(chunk)) return false;
    // The reply is whole with its line feed, whatever the line held.
    const bool whole = chunk && (RxBuffer.contains('\n') || chunk->contains('\n'));
    Take(chunk);
    return whole;
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
            if (taken == FocuserValue::Position) position = hasPosition_ = true;
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
    SettingsRead read;
    if (number_ == 1)
        read = co_await AskSettingsQLO();
    else
        read = co_await AskSettingsQLO2();
    try {
        const focuser::TFocuserSettings settings = focuser::SettingsOf(read.reply);
        stored_ = Stored{settings.maxPosition, settings.firmware, read.sign};
    } catch (const Failure&) {
        // A reply that does not decode tells nothing new; what the window shows of it is its own
        // affair.
    }
    co_return read;
}

QCoro::Task<> TFocuser::LearnSettings() {
    if (stored_) co_return;
    const TTurn turn = co_await Turn();
    if (stored_) co_return; // learnt while this waited
    co_await AskSettings();
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
    // What was written is what the focuser holds now.
    if (stored_) {
        bool number = false;
        const int max = s.maxPosition.toInt(&number);
        if (number && MaxPositionCommand(s.maxPosition)) stored_->maxPosition = max;
        if (stored_->firmware >= kSignFirmware) stored_->sign = s.sign;
    }
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

focuser::TMoveState TFocuser::MoveState() const {
    focuser::TMoveState state;
    state.ready = Ready();
    state.tempComp = TempComp;
    if (hasPosition_) state.position = Position;
    if (stored_) state.maxPosition = stored_->maxPosition;
    return state;
}

std::optional<focuser::TRefusal> TFocuser::Refusal(const focuser::TMoveAsk& ask) const {
    return focuser::Refusal(ask, MoveState(), Title());
}

void TFocuser::Refuse(const focuser::TMoveAsk& ask, const QString& why) {
    const QString what = ask.kind == focuser::TMoveAsk::Kind::To ? QStringLiteral(" MoveTo :")
                         : ask.in                                ? QStringLiteral(" MoveIn :")
                                                                 : QStringLiteral(" MoveOut :");
    Log(QStringLiteral("Erreur valeur ") + Link().objectName() + what + why);
    throw Failure(why);
}

QCoro::Task<TFocuser::MoveEnd> TFocuser::Move(focuser::TMoveAsk ask, QString key) {
    if (const auto refused = Refusal(ask)) Refuse(ask, refused->why);
    // A move that runs now counts as one before it.
    const int movesBefore = movesStarted_ - (moving_ ? 1 : 0);
    const TTurn turn = co_await Turn(key);
    // Behind another move the last poll no longer says where the focuser is.
    const bool waited = movesStarted_ != movesBefore;
    const bool travel = ask.kind == focuser::TMoveAsk::Kind::By && ask.withinTravel;
    if ((ask.kind == focuser::TMoveAsk::Kind::To && (ask.measure || waited)) || (travel && waited))
        co_await Measure(QStringLiteral("Erreur lecture ") + Link().objectName() +
                         QStringLiteral(" MoveTo :"));
    // What was true when it was asked may have changed while it waited.
    if (const auto refused = Refusal(ask)) Refuse(ask, refused->why);
    // Refusal has made sure the plan goes (a go-to needs the position it is planned from).
    const focuser::TMovePlan move = std::get<focuser::TMovePlan>(focuser::Plan(ask, Position));
    if (ask.kind == focuser::TMoveAsk::Kind::To && move.steps == 0) co_return MoveEnd::Done;
    co_return co_await Run(move.in, move.steps);
}

QCoro::Task<> TFocuser::Measure(QString errorPrefix) {
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
}

QCoro::Task<TFocuser::MoveEnd> TFocuser::Run(bool in, int steps) {
    const QString link = Link().objectName();
    const QString what = in ? QStringLiteral(" MoveIn :") : QStringLiteral(" MoveOut :");
    const QString writeError =
        (in ? QStringLiteral("Erreur écriture ") : QStringLiteral("Erreur ecriture ")) + link +
        what;
    const int limitMs = focuser::MoveWaitLimitMs(steps);
    ++movesStarted_;
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
