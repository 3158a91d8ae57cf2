// SPDX-License-Identifier: GPL-3.0-or-later
#include "Moves.h"

#include "Commands.h"

#include <cstdlib>

namespace focuser {

namespace {

int MaxOf(const TMoveState& state) {
    return state.maxPosition.value_or(kMaxMoveSteps);
}

std::optional<QString> OutsideTravel(int target, const TMoveState& state, const QString& device) {
    if (target >= 0 && target <= MaxOf(state)) return std::nullopt;
    return QStringLiteral("%1 would leave its travel from 0 to %2 at %3")
        .arg(device)
        .arg(MaxOf(state))
        .arg(target);
}

} // namespace

std::variant<TMovePlan, QString> Plan(const TMoveAsk& ask, int position) {
    if (ask.kind == TMoveAsk::Kind::By) return TMovePlan{ask.in, ask.steps};
    const int steps = std::abs(ask.target - position);
    if (steps > kMaxMoveSteps)
        return QStringLiteral("%1 is %2 steps away; one move goes at most %3 steps")
            .arg(ask.target)
            .arg(steps)
            .arg(kMaxMoveSteps);
    return TMovePlan{ask.target < position, steps};
}

std::optional<TRefusal> Refusal(const TMoveAsk& ask, const TMoveState& state,
                                const QString& device) {
    const auto value = [](std::optional<QString> why) -> std::optional<TRefusal> {
        if (!why) return std::nullopt;
        return TRefusal{*why, true};
    };
    const auto now = [](QString why) { return TRefusal{std::move(why), false}; };
    const int asked = ask.kind == TMoveAsk::Kind::By ? ask.steps : ask.target;
    if (asked < 0 || asked > kMaxMoveSteps)
        return value(QStringLiteral("%1 is not a %2 from 0 to %3")
                         .arg(asked)
                         .arg(ask.kind == TMoveAsk::Kind::By ? QStringLiteral("number of steps")
                                                             : QStringLiteral("position"))
                         .arg(kMaxMoveSteps));
    if (!state.ready) return now(QStringLiteral("%1 is not connected").arg(device));
    // The compensation moves the focuser itself.
    if (state.tempComp)
        return now(QStringLiteral("%1 moves by itself while its temperature compensation runs")
                       .arg(device));
    if (ask.kind == TMoveAsk::Kind::By) {
        // Checked again in the move's turn, from where the focuser is then.
        if (ask.withinTravel && state.position)
            return value(OutsideTravel(
                ask.in ? *state.position - ask.steps : *state.position + ask.steps, state, device));
        return std::nullopt;
    }
    if (!state.position)
        return now(QStringLiteral("%1 has not reported its position yet").arg(device));
    if (ask.withinTravel)
        if (auto why = OutsideTravel(ask.target, state, device)) return value(why);
    const auto plan = Plan(ask, *state.position);
    if (const QString* why = std::get_if<QString>(&plan)) return value(*why);
    return std::nullopt;
}

} // namespace focuser
