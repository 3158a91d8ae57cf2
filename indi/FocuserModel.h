// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A Quillo focuser as an INDI focuser: absolute and relative moves with their direction, the
// maximum position, the temperature and its compensation. There is no stop command, so no abort
// property. A move is Busy at once and Ok at its target, or Alert when the focuser did not report
// its end.
#include "DeviceModel.h"
#include "Moves.h"

#include <functional>
#include <optional>

namespace indi {

struct FocuserReadings {
    int position = 0; // as last polled
    double temperature = 0;
    bool tempComp = false;
    bool positionKnown = false;    // a position reply has come since the focuser was connected
    bool temperatureKnown = false; // likewise a temperature reply
};

class TFocuserModel : public TDeviceModel {
  public:
    // maxPosition: from the focuser's settings, nullopt when they could not be read (the
    // five-digit field's largest value bounds the moves then).
    TFocuserModel(const QString& device, const QString& port, std::optional<int> maxPosition,
                  const FocuserReadings& readings);

    // The names of the vectors whose values changed.
    QStringList Update(const FocuserReadings& readings);
    // A move from a window or the phone page: the absolute position is Busy meanwhile.
    QStringList MoveStarted();
    QStringList MoveEnded();
    // The positions that are Busy with a move, to be sent again while it runs: a client's
    // motion timer is re-armed by each update.
    QStringList Moving() const;

    struct Action {
        // Move: by steps, in or out (a relative move); MoveTo: to target, measured from where
        // the focuser stands when its turn comes.
        enum class Do { Nothing, Move, MoveTo, TempComp };
        Do what = Do::Nothing;
        bool in = false; // Move
        int steps = 0;
        int target = 0;  // MoveTo
        bool on = false; // TempComp
        Reply reply;
    };
    // Why the focuser refuses a move asked now (nullopt: it takes it): the focuser's own rules.
    using MoveRefusal = std::function<std::optional<QString>(const focuser::TMoveAsk&)>;
    // A client's new values. A move asked while others run or wait is queued behind them.
    Action Request(const Command& command, const MoveRefusal& refusal);
    // The ask of a Move or MoveTo action: INDI's go-to measures in its own turn, and both kinds
    // stay within the travel.
    static focuser::TMoveAsk AskOf(const Action& move);

    // How the move of a Move or MoveTo action ended. The positions stay Busy while other
    // clients' moves wait.
    enum class End { Done, TimedOut, LinkLost, Failed };
    Reply MoveFinished(const Action& move, End end, const QString& failure = {});
    // A move that waited and was replaced by its client's newer one: it no longer counts.
    Reply MoveReplaced(const Action& move);
    Reply TempCompFinished(const QString& failure = {});

  private:
    Action Move(const Command& command, int target, bool relative, const MoveRefusal& refusal);

    int maxPosition_;
    FocuserReadings readings_;
    // Where the focuser is: the polled position, or a client's target once its move ended,
    // until the polling brings a new position.
    int position_ = 0;
    int moves_ = 0;         // clients' moves asked and not yet ended
    int relativeMoves_ = 0; // of them, relative ones
};

} // namespace indi
