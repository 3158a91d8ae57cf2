#pragma once
// A Quillo focuser as an INDI focuser: absolute and relative moves with their direction, the
// maximum position, the temperature and its compensation. There is no stop command, so no abort
// property. A move is Busy at once and Ok at its target, or Alert when the focuser did not report
// its end.
#include "DeviceModel.h"

#include <optional>

namespace indi {

struct FocuserReadings {
    int position = 0; // as last polled
    double temperature = 0;
    bool tempComp = false;
    bool positionKnown = false; // a position reply has come since the focuser was connected
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

    struct Action {
        enum class Do { Nothing, Move, TempComp };
        Do what = Do::Nothing;
        bool in = false; // Move
        int steps = 0;
        bool on = false; // TempComp
        Reply reply;
    };
    // A client's new values. moving: the focuser is moving for someone else.
    Action Request(const Command& command, bool moving);

    // How the move of the last Move action ended.
    enum class End { Done, TimedOut, LinkLost, Failed };
    Reply MoveFinished(End end, const QString& failure = {});
    Reply TempCompFinished(const QString& failure = {});
    bool ClientMoving() const { return clientMove_; }

  private:
    Action Move(const Command& command, int target, bool relative);

    int maxPosition_;
    FocuserReadings readings_;
    // Where the focuser is: the polled position, or a client's target once its move ended,
    // until the polling brings a new position.
    int position_ = 0;
    bool clientMove_ = false; // a client's move asked and not yet ended
    bool relative_ = false;
    int target_ = 0;
};

} // namespace indi
