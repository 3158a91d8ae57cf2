// SPDX-License-Identifier: GPL-3.0-or-later
#include "Served.h"

#include "Commands.h"
#include "DewController.h"
#include "ErrorReport.h"
#include "Focuser.h"
#include "Server.h"

#include <QPointer>

namespace indi {

namespace {

QSet<QString> Names(const TDeviceModel& model) {
    QSet<QString> names;
    for (const Vector& v : model.Vectors())
        names.insert(v.name);
    return names;
}

} // namespace

// ---- Every device ----

TServed::TServed(TIndiServer& server, TDevice& device, QString name)
    : server_(server), device_(device), name_(std::move(name)) {
    // Offered once greeted and polled: nothing of a client's reaches the device before.
    connect(&device, &TDevice::BecameReady, this, GuardedSlot([this] {
        if (started_) Define();
    }));
    connect(&device, &TDevice::Closed, this, GuardedSlot([this] { Undefine(); }));
    // A new connection: what was measured on the last one is not this one's.
    connect(&device, &TDevice::Opened, this, GuardedSlot([this] { Reconnected(); }));
}

TServed::~TServed() = default;

void TServed::Start() {
    started_ = true;
    if (device_.Ready()) Define();
}

void TServed::Stop() {
    // The clients are gone with the server: nobody to tell of the deletion.
    started_ = false;
    model_.reset();
    ++generation_;
}

bool TServed::Serving() const {
    return started_ && model_ != nullptr;
}

void TServed::Define() {
    Defined(std::make_unique<TDeviceModel>(name_, device_.Link().Port(), kGeneralInterface));
}

void TServed::Defined(std::unique_ptr<TDeviceModel> model) {
    ++generation_;
    model_ = std::move(model);
    server_.Defined(*model_);
}

void TServed::Undefine() {
    ++generation_;
    if (!model_) return;
    model_.reset();
    server_.Deleted(name_);
}

QSet<QString> TServed::Properties() const {
    return Names(TDeviceModel(name_, {}, kGeneralInterface));
}

void TServed::Handle(const Command& command, const QString&) {
    if (Serving()) Send(model_->Answer(command));
}

void TServed::ClientGone(const QString& client) {
    device_.Withdraw(client + QStringLiteral(":move"));
}

void TServed::Send(const Reply& reply) {
    if (Serving()) server_.Send(*model_, reply);
}

void TServed::Send(const QStringList& changed) {
    if (!changed.isEmpty()) Send(Reply{changed, {}});
}

// ---- Focusers ----

TServedFocuser::TServedFocuser(TIndiServer& server, TFocuser& focuser, QString name)
    : TServed(server, focuser, std::move(name)), focuser_(focuser) {
    auto update = [this] {
        if (Serving()) Send(Focuser()->Update(Readings()));
    };
    connect(&focuser, &TFocuser::Reading, this, GuardedSlot(update));
    connect(&focuser, &TFocuser::TempCompChanged, this, GuardedSlot(update));
    connect(&focuser, &TFocuser::MoveStarted, this, GuardedSlot([this] {
        moving_.start();
        if (Serving()) Send(Focuser()->MoveStarted());
    }));
    connect(&focuser, &TFocuser::MoveEnded, this, GuardedSlot([this] {
        moving_.stop();
        if (Serving()) Send(Focuser()->MoveEnded());
    }));
    // Busy with the last position known, again every 1.5 s of a move.
    moving_.setInterval(1500);
    connect(&moving_, &QTimer::timeout, this, GuardedSlot([this] {
        if (Serving()) Send(Focuser()->Moving());
    }));
}

FocuserReadings TServedFocuser::Readings() const {
    return FocuserReadings{focuser_.Position, focuser_.Temp, focuser_.TempComp,
                           focuser_.HasPosition(), focuser_.HasTemp()};
}

void TServedFocuser::Define() {
    Launch(ReadAndDefine(++generation_));
}

QCoro::Task<> TServedFocuser::ReadAndDefine(int generation) {
    // The maximum position is read once, with the focuser's settings, in the focuser's turn;
    // the focuser keeps it for every client.
    QPointer<TServedFocuser> self(this);
    try {
        co_await focuser_.LearnSettings();
    } catch (const TCancelled&) {
        co_return;
    } catch (const Failure&) {
        // Logged by the focuser; said below.
    }
    if (!self || generation != generation_ || !focuser_.Ready()) co_return;
    std::optional<int> max;
    if (const auto& stored = focuser_.StoredSettings())
        max = stored->maxPosition;
    else
        server_.Log(QStringLiteral("%1: settings not read").arg(name_));
    Defined(std::make_unique<TFocuserModel>(name_, focuser_.Link().Port(), max, Readings()));
}

QSet<QString> TServedFocuser::Properties() const {
    return Names(TFocuserModel(name_, {}, std::nullopt, {}));
}

void TServedFocuser::Handle(const Command& command, const QString& client) {
    if (!Serving()) return;
    TFocuserModel::Action action =
        Focuser()->Request(command, [this](const focuser::TMoveAsk& ask) -> std::optional<QString> {
            if (const auto refused = focuser_.Refusal(ask)) return refused->why;
            return std::nullopt;
        });
    Send(action.reply);
    switch (action.what) {
    case TFocuserModel::Action::Do::Nothing:
        break;
    case TFocuserModel::Action::Do::Move:
    case TFocuserModel::Action::Do::MoveTo:
        Launch(Move(generation_, action, client));
        break;
    case TFocuserModel::Action::Do::TempComp:
        Launch(SetTempComp(generation_, action.on));
        break;
    }
}

QCoro::Task<> TServedFocuser::Move(int generation, TFocuserModel::Action move, QString client) {
    QPointer<TServedFocuser> self(this);
    TFocuserModel::End end = TFocuserModel::End::Done;
    QString failure;
    try {
        // A client's newer move replaces its own that still waits: the latest target wins.
        const TFocuser::MoveEnd moved =
            co_await focuser_.Move(TFocuserModel::AskOf(move), client + QStringLiteral(":move"));
        end = moved == TFocuser::MoveEnd::Done       ? TFocuserModel::End::Done
              : moved == TFocuser::MoveEnd::TimedOut ? TFocuserModel::End::TimedOut
                                                     : TFocuserModel::End::LinkLost;
    } catch (const TSuperseded&) {
        // Replaced by the same client's newer move, or its client has gone.
        if (self && generation == generation_ && Serving()) Send(Focuser()->MoveReplaced(move));
        co_return;
    } catch (const TCancelled&) {
        // The link closed: the client hears so while the device is still defined.
        end = TFocuserModel::End::LinkLost;
    } catch (const Failure& e) {
        end = TFocuserModel::End::Failed;
        failure = e.Message();
    }
    if (!self || generation != generation_ || !Serving()) co_return;
    Send(Focuser()->MoveFinished(move, end, failure));
}

QCoro::Task<> TServedFocuser::SetTempComp(int generation, bool on) {
    QPointer<TServedFocuser> self(this);
    QString failure;
    try {
        co_await focuser_.SetTempComp(on);
    } catch (const TCancelled&) {
        co_return;
    } catch (const Failure& e) {
        failure = e.Message();
    }
    if (!self || generation != generation_ || !Serving()) co_return;
    Focuser()->Update(Readings());
    Send(Focuser()->TempCompFinished(failure));
}

// ---- The dew controller ----

TServedDew::TServedDew(TIndiServer& server, TDewController& dew, QString name)
    : TServed(server, dew, std::move(name)), dew_(dew) {
    connect(&dew, &TDewController::FrameParsed, this, GuardedSlot([this] {
        framed_ = true;
        AwaitFrames();
        if (Serving()) Send(Dew()->Update(Readings()));
    }));
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, GuardedSlot([this] {
        if (!Serving()) return;
        Launch([](TDewController& dew) -> QCoro::Task<> {
            try {
                co_await dew.Refresh(); // its frame comes through FrameParsed
            } catch (const Failure&) {
                // Closed meanwhile, or too many requests wait: the next period asks again.
            }
        }(dew_));
        AwaitFrames();
    }));
}

void TServedDew::AwaitFrames() {
    if (weather_.periodSeconds > 0)
        quiet_.start(int(weather_.periodSeconds * 1000));
    else
        quiet_.stop();
}

DewReadings TServedDew::Readings() const {
    DewReadings r;
    r.values = dew_.Values;
    for (int output = 1; output <= 3; ++output)
        r.owned[output - 1] = dew_.OutputOwnedByAuto(output);
    r.framed = framed_;
    return r;
}

void TServedDew::Define() {
    Defined(std::make_unique<TDewModel>(name_, dew_.Link().Port(), Readings(), weather_));
    AwaitFrames();
}

QSet<QString> TServedDew::Properties() const {
    return Names(TDewModel(name_, {}, {}));
}

void TServedDew::Handle(const Command& command, const QString&) {
    if (!Serving()) return;
    TDewModel::Action action = Dew()->Request(command);
    Send(action.reply);
    if (action.what == TDewModel::Action::Do::Weather) {
        weather_ = action.weather;
        AwaitFrames();
    } else if (action.what != TDewModel::Action::Do::Nothing) {
        Launch(Run(generation_, action));
    }
}

QCoro::Task<> TServedDew::Run(int generation, TDewModel::Action action) {
    QPointer<TServedDew> self(this);
    QString failure;
    try {
        if (action.what == TDewModel::Action::Do::Refresh) {
            if (!co_await dew_.Refresh()) failure = QStringLiteral("%1 sent no frame").arg(name_);
        } else if (action.what == TDewModel::Action::Do::Outputs) {
            // One exchange per output, as one slider after the other would send them.
            for (const auto& [output, slider] : action.outputs)
                co_await dew_.SetOutput(output, slider);
        } else {
            // The other settings as the controller was last told or showed since.
            using Mode = TDewController::Mode;
            if (action.autoAsked)
                co_await dew_.SetMode(Mode::Automatic, action.automatic);
            else
                co_await dew_.SetMode(Mode::Linked, action.linked);
        }
    } catch (const TCancelled&) {
        co_return;
    } catch (const Failure& e) {
        failure = e.Message();
    }
    if (!self || generation != generation_ || !Serving()) co_return;
    Send(Dew()->Finished(action.what, Readings(), failure));
}

} // namespace indi
