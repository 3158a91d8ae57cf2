// SPDX-License-Identifier: GPL-3.0-or-later
#include "FocuserDevice.h"

#include "Commands.h"
#include "Focuser.h"

#include <QCoroSignal>
#include <QDeadlineTimer>
#include <QPointer>
#include <algorithm>

namespace {

// The most a call waits for a position reading (polls come every second, position and
// temperature in turn).
constexpr int kPositionReadingMs = 3000;

const QList<TAlpacaMember> kMembers = {
    {QLatin1StringView("absolute"), true, false, false},
    {QLatin1StringView("ismoving"), true, false, true},
    {QLatin1StringView("maxincrement"), true, false, true},
    {QLatin1StringView("maxstep"), true, false, true},
    {QLatin1StringView("position"), true, false, true},
    {QLatin1StringView("stepsize"), true, false, false},
    {QLatin1StringView("tempcomp"), true, true, true},
    {QLatin1StringView("tempcompavailable"), true, false, false},
    {QLatin1StringView("temperature"), true, false, true},
    {QLatin1StringView("halt"), false, true, false},
    {QLatin1StringView("move"), false, true, true},
};

TAlpacaReply LinkFailed(const TAlpacaDevice& device, const Failure& failure) {
    return TAlpacaReply::Error(ascom::kDriverError,
                               device.DeviceName() + QStringLiteral(": ") + failure.Message());
}

} // namespace

TAlpacaFocuser::TAlpacaFocuser(TFocuser& focuser, int number, QObject* parent)
    : QObject(parent), focuser_(focuser), number_(number) {
    // Another focuser may be behind the link when it opens again.
    connect(&focuser_, &TDevice::Opened, this, [this] {
        positionReadings_ = 0;
        resumeTempComp_ = false;
    });
    connect(&focuser_, &TDevice::BecameReady, this, [this] {
        if (serving_) Learn();
    });
    connect(&focuser_, &TFocuser::Reading, this, [this](FocuserValue taken) {
        if (taken == FocuserValue::Position) ++positionReadings_;
    });
}

QString TAlpacaFocuser::DeviceName() const {
    return QStringLiteral("Quillo %1").arg(focuser_.Number());
}

QString TAlpacaFocuser::Description() const {
    return QStringLiteral("Quillo motorised focuser %1, through Skyvarn").arg(focuser_.Number());
}

bool TAlpacaFocuser::Connected() const {
    return focuser_.Ready();
}

void TAlpacaFocuser::SetServing(bool serving) {
    serving_ = serving;
    if (serving_ && focuser_.Ready()) Learn();
}

void TAlpacaFocuser::Learn() {
    if (focuser_.StoredSettings()) return;
    [](TFocuser& focuser) -> QCoro::Task<> {
        try {
            co_await focuser.LearnSettings();
        } catch (const Failure&) {
            // Closed meanwhile, or logged by the focuser; MaxStep asks again.
        }
    }(focuser_);
}

QList<TAlpacaMember> TAlpacaFocuser::Members() const {
    return kMembers;
}

QList<std::pair<QString, QString>> TAlpacaFocuser::State() const {
    return {
        {QStringLiteral("Position"), QString::number(focuser_.Position)},
        {QStringLiteral("Temperature"), QString::number(focuser_.Temp) + QStringLiteral(" °C")},
        {QStringLiteral("Moving"),
         focuser_.Moving() || MovePending() ? QStringLiteral("yes") : QStringLiteral("no")},
        {QStringLiteral("Temperature compensation"),
         TempCompOn() ? QStringLiteral("on") : QStringLiteral("off")},
        {QStringLiteral("Maximum position"),
         focuser_.StoredSettings() ? QString::number(focuser_.StoredSettings()->maxPosition)
                                   : QStringLiteral("not read yet")},
    };
}

bool TAlpacaFocuser::TempCompOn() const {
    return focuser_.TempComp || resumeTempComp_;
}

QJsonArray TAlpacaFocuser::DeviceState() const {
    const bool moving = focuser_.Moving() || MovePending();
    QJsonArray state{StateItem(QStringLiteral("IsMoving"), moving)};
    // Position outside a move waits for the first reading since the link opened: until then it
    // is left out.
    if (positionReadings_ > 0 || (moving && focuser_.HasPosition()))
        state.append(StateItem(QStringLiteral("Position"), focuser_.Position));
    if (focuser_.HasTemp()) state.append(StateItem(QStringLiteral("Temperature"), focuser_.Temp));
    return state;
}

QCoro::Task<TAlpacaReply> TAlpacaFocuser::Call(TAlpacaCall call) {
    const QString& m = call.member;
    if (m == QLatin1String("absolute")) co_return TAlpacaReply::Ok(true);
    if (m == QLatin1String("ismoving"))
        co_return TAlpacaReply::Ok(focuser_.Moving() || MovePending());
    if (m == QLatin1String("position")) {
        // While a move runs the polls wait for it: the last position known is the answer, at
        // once (a move needs one to start from).
        if (focuser_.Moving() || MovePending()) {
            if (!focuser_.HasPosition()) co_return NoPosition();
            co_return TAlpacaReply::Ok(focuser_.Position);
        }
        const QPointer<TAlpacaFocuser> self(this);
        const bool known = co_await PositionRead(positionReadings_ > 0 ? positionReadings_ - 1 : 0);
        if (!self) co_return TAlpacaReply::Error(ascom::kNotConnected, {});
        if (!known) co_return NoPosition();
        co_return TAlpacaReply::Ok(focuser_.Position);
    }
    if (m == QLatin1String("temperature")) co_return TAlpacaReply::Ok(focuser_.Temp);
    if (m == QLatin1String("tempcompavailable")) co_return TAlpacaReply::Ok(true);
    if (m == QLatin1String("stepsize"))
        co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                      QStringLiteral("The Quillo does not know its step size"));
    if (m == QLatin1String("halt"))
        co_return TAlpacaReply::Error(ascom::kNotImplemented,
                                      QStringLiteral("The Quillo has no command to stop a move"));
    if (m == QLatin1String("maxstep") || m == QLatin1String("maxincrement")) {
        TAlpacaReply reply = co_await MaxStep();
        if (m == QLatin1String("maxincrement") && reply.errorNumber == 0)
            reply.value = std::min(reply.value.toInt(), focuser::kMaxMoveSteps);
        co_return reply;
    }
    if (m == QLatin1String("move")) {
        // A client's newer move replaces its own that still waits (the latest target wins).
        const std::optional<QString> client = call.params.Value(u"ClientID");
        co_return co_await Move(call.Int(QLatin1StringView("Position")),
                                QStringLiteral("alpaca:") + client.value_or(QString()));
    }
    // tempcomp
    if (!call.put) co_return TAlpacaReply::Ok(TempCompOn());
    const bool on = call.Bool(QLatin1StringView("TempComp"));
    // Asked on while moves are pending: it starts when they have ended (it would refuse them).
    if (MovePending()) {
        resumeTempComp_ = on;
        if (on) co_return TAlpacaReply::Ok();
    }
    co_return co_await SetTempComp(on);
}

QCoro::Task<TAlpacaReply> TAlpacaFocuser::SetTempComp(bool on) {
    const QPointer<TAlpacaFocuser> self(this);
    try {
        co_await focuser_.SetTempComp(on); // "FAMODE" / "FMMODE"
    } catch (const TCancelled&) {
        co_return self ? NotConnectedReply(*self) : TAlpacaReply::Error(ascom::kNotConnected, {});
    } catch (const Failure& e) {
        co_return self ? LinkFailed(*self, e) : TAlpacaReply::Error(ascom::kDriverError, {});
    }
    co_return TAlpacaReply::Ok();
}

QCoro::Task<bool> TAlpacaFocuser::PositionRead(int readings) {
    const QPointer<TAlpacaFocuser> self(this);
    TFocuser& focuser = focuser_;
    QDeadlineTimer deadline(kPositionReadingMs);
    while (self && focuser.Connected() && self->positionReadings_ <= readings &&
           !deadline.hasExpired())
        co_await qCoro(&focuser, &TFocuser::Reading,
                       std::chrono::milliseconds(std::max<qint64>(1, deadline.remainingTime())));
    co_return self && self->positionReadings_ > readings;
}

TAlpacaReply TAlpacaFocuser::NoPosition() const {
    return TAlpacaReply::Error(ascom::kInvalidOperation,
                               QStringLiteral("Skyvarn has no position reading of %1: check "
                                              "Track all in its main window")
                                   .arg(DeviceName()));
}

QCoro::Task<TAlpacaReply> TAlpacaFocuser::MaxStep() {
    // Only Read values and Save values change it; both keep the focuser's copy up to date.
    if (const auto& stored = focuser_.StoredSettings())
        co_return TAlpacaReply::Ok(stored->maxPosition);
    const QPointer<TAlpacaFocuser> self(this);
    try {
        co_await focuser_.LearnSettings();
    } catch (const TCancelled&) {
        co_return self ? NotConnectedReply(*self) : TAlpacaReply::Error(ascom::kNotConnected, {});
    } catch (const Failure& e) {
        co_return self ? LinkFailed(*self, e) : TAlpacaReply::Error(ascom::kDriverError, {});
    }
    if (!self) co_return TAlpacaReply::Error(ascom::kNotConnected, {});
    if (const auto& stored = focuser_.StoredSettings())
        co_return TAlpacaReply::Ok(stored->maxPosition);
    co_return TAlpacaReply::Error(ascom::kDriverError,
                                  QStringLiteral("%1 did not tell its settings").arg(DeviceName()));
}

QCoro::Task<TAlpacaReply> TAlpacaFocuser::Move(int target, QString client) {
    const QPointer<TAlpacaFocuser> self(this);
    const TAlpacaReply max = co_await MaxStep();
    if (!self || max.errorNumber != 0) co_return max;
    // Right after connection the first position poll may still be on its way.
    if (positionReadings_ == 0) co_await PositionRead(0);
    if (!self) co_return TAlpacaReply::Error(ascom::kNotConnected, {});
    focuser::TMoveAsk ask =
        focuser::TMoveAsk::To(std::clamp(target, 0, std::max(0, max.value.toInt())));
    // Measured again in its own turn: where the focuser stands then.
    ask.measure = true;
    // The compensation pauses for the move ("FMMODE" in the focuser's turn, before the move's;
    // its flag is down at once) and resumes after the last move pending.
    if (focuser_.TempComp && focuser_.Ready()) {
        resumeTempComp_ = true;
        const TAlpacaReply paused = co_await SetTempComp(false);
        if (!self) co_return TAlpacaReply::Error(ascom::kNotConnected, {});
        if (paused.errorNumber != 0) {
            resumeTempComp_ = false;
            co_return paused;
        }
    }
    if (const auto refused = focuser_.Refusal(ask)) {
        const TAlpacaReply reply = TAlpacaReply::Error(
            refused->badValue ? ascom::kInvalidValue : ascom::kInvalidOperation, refused->why);
        if (movesPending_ == 0 && resumeTempComp_) {
            resumeTempComp_ = false;
            co_await SetTempComp(true);
        }
        co_return reply;
    }
    // The move waits for its turn behind what others asked, and goes on after the answer:
    // IsMoving tells the client when it ends.
    ++movesPending_;
    RunMove(ask, client);
    co_return TAlpacaReply::Ok();
}

QCoro::Task<> TAlpacaFocuser::RunMove(focuser::TMoveAsk ask, QString client) {
    const QPointer<TAlpacaFocuser> self(this);
    bool moved = false;
    try {
        // Its end (done, timed out, line lost) or why it did not start is logged by the
        // focuser.
        moved = co_await focuser_.Move(ask, client) == TFocuser::MoveEnd::Done;
    } catch (const Failure&) {
        // Refused in its turn, or the link closed: the client sees the position where it stopped.
    }
    // Polls wait while the move runs, so the position is the one before it until the next
    // position poll: a move that ended ends for the client with that reading, or after its
    // bound when nothing polls. One cut short ends at once.
    if (self && moved) co_await self->PositionRead(self->positionReadings_);
    if (!self) co_return;
    if (--self->movesPending_ == 0 && self->resumeTempComp_) {
        self->resumeTempComp_ = false;
        // Its flag is up at once; a failure is logged by the focuser.
        if (self->focuser_.Ready()) co_await self->SetTempComp(true);
    }
}
