// SPDX-License-Identifier: GPL-3.0-or-later
#include "FocuserModel.h"

#include "Commands.h"

#include <cstdlib>

namespace indi {

namespace {

const QString kAbs = QStringLiteral("ABS_FOCUS_POSITION");
const QString kAbsValue = QStringLiteral("FOCUS_ABSOLUTE_POSITION");
const QString kRel = QStringLiteral("REL_FOCUS_POSITION");
const QString kRelValue = QStringLiteral("FOCUS_RELATIVE_POSITION");
const QString kMotion = QStringLiteral("FOCUS_MOTION");
const QString kInward = QStringLiteral("FOCUS_INWARD");
const QString kMax = QStringLiteral("FOCUS_MAX");
const QString kTemperature = QStringLiteral("FOCUS_TEMPERATURE");
const QString kTempComp = QStringLiteral("FOCUS_TEMPERATURE_COMPENSATION");
const QString kEnabled = QStringLiteral("INDI_ENABLED");
const QString kDisabled = QStringLiteral("INDI_DISABLED");

// The largest value of the settings' five-digit maximum position.
constexpr int kLargestMax = 99999;

Element Switch(const QString& name, const QString& label, bool on) {
    Element e;
    e.name = name;
    e.label = label;
    e.on = on;
    return e;
}

Vector NumberVector(const QString& device, const QString& name, const QString& label, Perm perm,
                    State state, Element element) {
    return Vector{
        Kind::Number,        device, name, label, kMainControl, state, perm, Rule::OneOfMany, 60,
        {std::move(element)}};
}

Vector SwitchVector(const QString& device, const QString& name, const QString& label,
                    const QString& group, QList<Element> elements) {
    return Vector{Kind::Switch,
                  device,
                  name,
                  label,
                  group,
                  State::Ok,
                  Perm::ReadWrite,
                  Rule::OneOfMany,
                  60,
                  std::move(elements)};
}

} // namespace

TFocuserModel::TFocuserModel(const QString& device, const QString& port,
                             std::optional<int> maxPosition, const FocuserReadings& readings)
    : TDeviceModel(device, port, kFocuserInterface),
      maxPosition_(maxPosition.value_or(kLargestMax)), readings_(readings),
      position_(readings.position) {
    vectors_
        << NumberVector(device, kAbs, QStringLiteral("Absolute Position"), Perm::ReadWrite,
                        readings.positionKnown ? State::Ok : State::Idle,
                        NumberElement(kAbsValue, QStringLiteral("Steps"), QStringLiteral("%.f"), 0,
                                      maxPosition_, 100, readings.position))
        << NumberVector(device, kRel, QStringLiteral("Relative Position"), Perm::ReadWrite,
                        State::Ok,
                        NumberElement(kRelValue, QStringLiteral("Steps"), QStringLiteral("%.f"), 0,
                                      focuser::kMaxMoveSteps, 100, 0))
        << SwitchVector(
               device, kMotion, QStringLiteral("Direction"), kMainControl,
               {Switch(kInward, QStringLiteral("Focus In"), true),
                Switch(QStringLiteral("FOCUS_OUTWARD"), QStringLiteral("Focus Out"), false)})
        << NumberVector(device, kMax, QStringLiteral("Max. Position"), Perm::ReadOnly,
                        maxPosition ? State::Ok : State::Alert,
                        NumberElement(QStringLiteral("FOCUS_MAX_VALUE"), QStringLiteral("Steps"),
                                      QStringLiteral("%.f"), 0, kLargestMax, 1, maxPosition_))
        << NumberVector(device, kTemperature, QStringLiteral("Temperature"), Perm::ReadOnly,
                        readings.temperatureKnown ? State::Ok : State::Idle,
                        NumberElement(QStringLiteral("TEMPERATURE"), QStringLiteral("Celsius"),
                                      QStringLiteral("%6.2f"), -50, 70, 0, readings.temperature))
        << SwitchVector(device, kTempComp, QStringLiteral("Temperature Compensation"),
                        kOptionsGroup,
                        {Switch(kEnabled, QStringLiteral("Enabled"), readings.tempComp),
                         Switch(kDisabled, QStringLiteral("Disabled"), !readings.tempComp)});
    // A client gives a move until the property's timeout: at least the longest move's bound.
    const int timeout = (focuser::MoveWaitLimitMs(focuser::kMaxMoveSteps) + 999) / 1000;
    At(kAbs).timeout = At(kRel).timeout = timeout;
}

QStringList TFocuserModel::Moving() const {
    QStringList busy;
    for (const QString& name : {kAbs, kRel})
        if (Find(name)->state == State::Busy) busy << name;
    return busy;
}

QStringList TFocuserModel::Update(const FocuserReadings& readings) {
    // The polled position stays as it was until the next position reply: a target reached
    // meanwhile is not undone by it.
    if (readings.position != readings_.position) position_ = readings.position;
    readings_ = readings;
    QStringList changed;
    SetNumber(kAbs, kAbsValue, position_, changed);
    // Until a position reply has come the position shown is not the focuser's.
    if (readings.positionKnown && At(kAbs).state == State::Idle) SetState(kAbs, State::Ok, changed);
    SetNumber(kTemperature, QStringLiteral("TEMPERATURE"), readings.temperature, changed);
    // Nothing is Ok before it was measured on this connection.
    if (readings.temperatureKnown && At(kTemperature).state == State::Idle)
        SetState(kTemperature, State::Ok, changed);
    SetSwitch(kTempComp, kEnabled, readings.tempComp, changed);
    SetSwitch(kTempComp, kDisabled, !readings.tempComp, changed);
    return changed;
}

QStringList TFocuserModel::MoveStarted() {
    QStringList changed;
    SetState(kAbs, State::Busy, changed);
    return changed;
}

QStringList TFocuserModel::MoveEnded() {
    // A client's move is ended by its own outcome, with its target.
    QStringList changed;
    if (moves_ == 0) SetState(kAbs, State::Ok, changed);
    return changed;
}

TFocuserModel::Action TFocuserModel::Request(const Command& command, const MoveRefusal& refusal) {
    Action action;
    Reply& reply = action.reply;
    if (RequestCommon(command, reply)) return action;
    QString why;
    int value = 0;
    if (command.name == kMotion && command.type == Command::Type::NewSwitch) {
        if (!ApplySwitches(At(kMotion), command, why)) reply.message = why;
        reply.changed << kMotion;
        return action;
    }
    if (command.name == kTempComp && command.type == Command::Type::NewSwitch) {
        Vector asked = At(kTempComp);
        if (!ApplySwitches(asked, command, why)) {
            reply.message = why;
            reply.changed << kTempComp;
            return action;
        }
        const bool on = asked.Find(kEnabled)->on;
        if (on == readings_.tempComp) {
            reply.changed << kTempComp;
            return action;
        }
        action.what = Action::Do::TempComp;
        action.on = on;
        At(kTempComp).elements = asked.elements;
        At(kTempComp).state = State::Busy;
        reply.changed << kTempComp;
        return action;
    }
    const bool absolute = command.name == kAbs;
    if ((!absolute && command.name != kRel) || command.type != Command::Type::NewNumber)
        return action; // not a property of this device: clients ignore such answers too
    const QString& member = absolute ? kAbsValue : kRelValue;
    const int max = absolute ? maxPosition_ : focuser::kMaxMoveSteps;
    if (!WholeNumber(command, member, 0, max, value, why))
        reply.message = why;
    else
        return Move(command, value, !absolute, refusal);
    // A property that is Busy with a running move stays so: that move ends it.
    if (At(command.name).state != State::Busy) SetState(command.name, State::Alert, reply.changed);
    if (!reply.changed.contains(command.name)) reply.changed << command.name;
    return action;
}

focuser::TMoveAsk TFocuserModel::AskOf(const Action& move) {
    focuser::TMoveAsk ask = move.what == Action::Do::Move
                                ? focuser::TMoveAsk::By(move.in, move.steps)
                                : focuser::TMoveAsk::To(move.target);
    ask.measure = true;
    ask.withinTravel = true;
    return ask;
}

TFocuserModel::Action TFocuserModel::Move(const Command& command, int value, bool relative,
                                          const MoveRefusal& refusal) {
    Action action;
    const bool in = At(kMotion).Find(kInward)->on;
    action.what = relative ? Action::Do::Move : Action::Do::MoveTo;
    action.in = in;
    action.steps = value;
    action.target = value;
    if (relative) At(kRel).Find(kRelValue)->number = value;
    if (const std::optional<QString> why = refusal ? refusal(AskOf(action)) : std::nullopt) {
        action.what = Action::Do::Nothing;
        action.reply.message = *why;
        // A property that is Busy with a running move stays so: that move ends it.
        if (At(command.name).state != State::Busy)
            SetState(command.name, State::Alert, action.reply.changed);
        if (!action.reply.changed.contains(command.name)) action.reply.changed << command.name;
        return action;
    }
    action.what = Action::Do::Nothing;
    if (relative ? value == 0 : value == position_ && moves_ == 0) {
        At(command.name).state = State::Ok;
        action.reply.changed << command.name;
        return action;
    }
    if (relative) {
        action.what = Action::Do::Move;
        action.in = in;
        action.steps = value;
        ++relativeMoves_;
        At(kRel).state = State::Busy;
        action.reply.changed << kRel;
    } else {
        action.what = Action::Do::MoveTo;
    }
    ++moves_;
    // Busy at once: the move may still wait for the focuser's turn.
    At(kAbs).state = State::Busy;
    action.reply.changed << kAbs;
    return action;
}

Reply TFocuserModel::MoveFinished(const Action& move, End end, const QString& failure) {
    Reply reply;
    const bool relative = move.what == Action::Do::Move;
    moves_ = std::max(0, moves_ - 1);
    if (relative) relativeMoves_ = std::max(0, relativeMoves_ - 1);
    if (end == End::Done) {
        position_ = relative ? position_ + (move.in ? -move.steps : move.steps) : move.target;
        SetNumber(kAbs, kAbsValue, position_, reply.changed);
    }
    // Busy while other clients' moves wait; a failure is shown at once.
    auto state = [&](int waiting) {
        return end != End::Done ? State::Alert : waiting > 0 ? State::Busy : State::Ok;
    };
    SetState(kAbs, state(moves_), reply.changed);
    if (relative) SetState(kRel, state(relativeMoves_), reply.changed);
    switch (end) {
    case End::Done:
        break;
    case End::TimedOut:
        reply.message = QStringLiteral("%1 did not report the end of its move").arg(Device());
        break;
    case End::LinkLost:
        reply.message = QStringLiteral("%1's link was lost during the move").arg(Device());
        break;
    case End::Failed:
        reply.message = QStringLiteral("%1's move failed: %2").arg(Device(), failure);
        break;
    }
    if (!reply.changed.contains(kAbs)) reply.changed << kAbs;
    return reply;
}

Reply TFocuserModel::MoveReplaced(const Action& move) {
    Reply reply;
    moves_ = std::max(0, moves_ - 1);
    if (move.what == Action::Do::Move) relativeMoves_ = std::max(0, relativeMoves_ - 1);
    if (moves_ == 0) SetState(kAbs, State::Ok, reply.changed);
    if (move.what == Action::Do::Move && relativeMoves_ == 0)
        SetState(kRel, State::Ok, reply.changed);
    return reply;
}

Reply TFocuserModel::TempCompFinished(const QString& failure) {
    Reply reply;
    SetState(kTempComp, failure.isEmpty() ? State::Ok : State::Alert, reply.changed);
    // The switches show the focuser's own flag, whatever was asked.
    SetSwitch(kTempComp, kEnabled, readings_.tempComp, reply.changed);
    SetSwitch(kTempComp, kDisabled, !readings_.tempComp, reply.changed);
    if (!failure.isEmpty())
        reply.message = QStringLiteral("%1's temperature compensation: %2").arg(Device(), failure);
    return reply;
}

} // namespace indi
