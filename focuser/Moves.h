// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What decides a focuser move, for every client alike (the settings window, the phone page,
// INDI, Alpaca): which asks are refused, where a move is measured from, and the move that reaches
// a target. Pure: the focuser object runs what these decide.
#include <QString>
#include <optional>
#include <variant>

namespace focuser {

// A move as a client asks it.
struct TMoveAsk {
    enum class Kind { By, To };
    Kind kind = Kind::By;
    bool in = false; // By: towards lower positions
    int steps = 0;   // By
    int target = 0;  // To
    // To: the position is asked again in the move's own turn ("FPOSRO") even when no other move
    // ran before it. Without it a go-to that did not wait starts from the last polled position.
    // A go-to is refused until a position was polled either way.
    bool measure = false;
    // Refused when it would leave the travel from 0 to the maximum position.
    bool withinTravel = false;

    static TMoveAsk By(bool in, int steps) { return {Kind::By, in, steps, 0, false, false}; }
    static TMoveAsk To(int target) { return {Kind::To, false, 0, target, false, false}; }
};

// What the focuser object knows when a move is asked, and again when its turn comes.
struct TMoveState {
    bool ready = false; // connected, greeted and polled
    bool tempComp = false;
    std::optional<int> position;    // the last polled (or measured) position, if any
    std::optional<int> maxPosition; // from the settings read; the largest move otherwise
};

// Why an ask is refused: a value out of range (the number asked) or the focuser's state.
struct TRefusal {
    QString why;
    bool badValue = false;
};
// Why the ask is refused now (nullopt: it may go). device: "Quillo 1".
std::optional<TRefusal> Refusal(const TMoveAsk& ask, const TMoveState& state,
                                const QString& device);

// The move that does the ask from position: in or out by steps (0: nothing to do), or why not
// (a target more than one move away). The rest of the rules are Refusal's.
struct TMovePlan {
    bool in = false;
    int steps = 0;
};
std::variant<TMovePlan, QString> Plan(const TMoveAsk& ask, int position);

} // namespace focuser
