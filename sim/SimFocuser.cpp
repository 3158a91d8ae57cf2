// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimFocuser.h"

#include "DeviceNumbers.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr auto kIdleTick = std::chrono::milliseconds(250);
constexpr auto kMovingTick = std::chrono::milliseconds(20);
constexpr int kLargestMaximum = 65535;

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

TSimFocuser::TSimFocuser(const TFocuserOptions& o)
    : TSimDevice("focuser", true), answersWhoIs_(o.answersWhoIs), firmware_(o.firmware),
      settings_(o.settings), position_(std::clamp(o.position, 0, o.settings.maxPosition)),
      target_(position_), temperature_(o.temperature), drift_(o.driftPerSecond),
      stepsPerSecond_(o.stepsPerSecond), lastAdvance_(Clock::now()) {
    Start();
}

TSimFocuser::~TSimFocuser() {
    Stop();
}

int TSimFocuser::Position() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::lround(position_));
}

bool TSimFocuser::Moving() const {
    std::lock_guard lock(mutex_);
    return moving_;
}

double TSimFocuser::Temperature() const {
    std::lock_guard lock(mutex_);
    return temperature_;
}

bool TSimFocuser::Compensating() const {
    std::lock_guard lock(mutex_);
    return compensating_;
}

TFocuserSettings TSimFocuser::Settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void TSimFocuser::SetTemperature(double celsius) {
    std::lock_guard lock(mutex_);
    CatchUp();
    temperature_ = celsius;
}

int TSimFocuser::CommandsDuringMoves() const {
    std::lock_guard lock(mutex_);
    return commandsDuringMoves_;
}

void TSimFocuser::SetDrift(double degreesPerSecond) {
    std::lock_guard lock(mutex_);
    CatchUp();
    drift_ = degreesPerSecond;
}

void TSimFocuser::SetStepsPerSecond(double atAverageSpeed) {
    std::lock_guard lock(mutex_);
    CatchUp();
    stepsPerSecond_ = std::max(atAverageSpeed, 1.0);
}

void TSimFocuser::SetPosition(int position) {
    std::lock_guard lock(mutex_);
    CatchUp();
    position_ = target_ = std::clamp(position, 0, settings_.maxPosition);
    moving_ = false;
}

double TSimFocuser::StepRate() const {
    switch (settings_.speedCode) {
    case 3:
        return stepsPerSecond_ / 2;
    case 4:
        return stepsPerSecond_ / 4;
    default:
        return stepsPerSecond_;
    }
}

void TSimFocuser::StartMove(double target, bool announce, Clock::time_point now) {
    // A move that arrives during another one takes over its target; one mark ends the motion.
    target_ = std::clamp(target, 0.0, static_cast<double>(settings_.maxPosition));
    announce_ = announce_ || announce;
    moving_ = true;
    lastAdvance_ = now;
    Advance(now);
}

TSimFocuser::Clock::time_point TSimFocuser::Advance(Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - lastAdvance_).count();
    lastAdvance_ = now;
    temperature_ += drift_ * seconds;

    if (moving_) {
        const double step = StepRate() * seconds;
        if (std::abs(target_ - position_) <= step) {
            position_ = target_;
            moving_ = false;
            if (announce_) Reply(kMoveDone, now);
            announce_ = false;
        } else {
            position_ += target_ > position_ ? step : -step;
        }
    }

    if (compensating_ && !moving_) {
        const double sign = settings_.negativeCoefficient ? -1 : 1;
        const long steps =
            std::lround(sign * settings_.coefficient * (temperature_ - compensatedAt_));
        if (steps != 0 && std::labs(steps) >= settings_.threshold) {
            compensatedAt_ = temperature_;
            target_ = std::clamp(position_ + steps, 0.0, double(settings_.maxPosition));
            moving_ = target_ != position_;
        }
    }

    if (!moving_) return now + kIdleTick;
    const double left = std::abs(target_ - position_) / StepRate();
    const auto end =
        now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(left));
    return std::min(end, now + kMovingTick);
}

void TSimFocuser::OnCommand(const std::string& c, Clock::time_point now) {
    Advance(now);
    if (announce_) ++commandsDuringMoves_;
    if (c == "SWHOIS") {
        if (answersWhoIs_) Reply(FocuserIdentification(firmware_), now);
    } else if (c == "FMMODE") {
        compensating_ = false;
        if (!answersWhoIs_) Reply(FocuserBangReply(), now);
    } else if (c == "FAMODE") {
        compensating_ = true;
        compensatedAt_ = temperature_;
    } else if (c == "FPOSRO") {
        Reply(PositionLine(static_cast<int>(std::lround(position_))), now);
    } else if (c == "FTMPRO") {
        Reply(TemperatureLine(temperature_), now);
    } else if (c[0] == 'I' || c[0] == 'O') {
        const auto steps = DeviceDigits(std::string_view(c).substr(1));
        if (!steps) return;
        const double from = moving_ ? position_ : std::round(position_);
        StartMove(c[0] == 'I' ? from - *steps : from + *steps, true, now);
    } else if (c == "SGETAL") {
        Reply(SettingsReply(settings_, firmware_), now);
    } else if (c == "FTAXXA") {
        if (SignSupported()) Reply(SignReply(settings_.negativeCoefficient), now);
    } else if (c == "SEERAZ") {
        settings_ = TFocuserOptions::FactorySettings();
        position_ = std::min(position_, double(settings_.maxPosition));
        Reply(kFocuserResetDone, now);
    } else if (c == "SMO002" || c == "SMO003" || c == "SMO004") {
        settings_.speedCode = c[5] - '0';
    } else if (c == "SMROTT" || c == "SMROTH") {
        settings_.reversed = c == "SMROTT";
    } else if (c == "SMSTPD" || c == "SMSTPF") {
        settings_.halfSteps = c == "SMSTPD";
    } else if ((c == "FZAXX1" || c == "FZAXX0") && SignSupported()) {
        settings_.negativeCoefficient = c == "FZAXX1";
    } else if (StartsWith(c, "FLA")) {
        if (const auto v = DeviceDigits(c.substr(3))) settings_.coefficient = *v;
    } else if (StartsWith(c, "SMA")) {
        if (const auto v = DeviceDigits(c.substr(3))) settings_.threshold = *v;
    } else if (StartsWith(c, "M")) {
        if (const auto v = DeviceDigits(c.substr(1))) {
            // The step counter cannot stand beyond the new end of travel.
            settings_.maxPosition = std::min(*v, kLargestMaximum);
            position_ = std::min(position_, double(settings_.maxPosition));
            target_ = std::min(target_, double(settings_.maxPosition));
        }
    }
    // Anything else is not a command of this focuser: no answer.
}
