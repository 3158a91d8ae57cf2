// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The focuser's command texts and the decoding of its settings and sign replies, without links
// or widgets. Commands are six ASCII characters; numbers in them are decimal, left-padded with
// "0" to their field's width. Only the move commands may come out longer.
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace focuser {

inline constexpr char kManualMode[] = "FMMODE"; // temperature compensation off
inline constexpr char kAutoMode[] = "FAMODE";   // temperature compensation on
inline constexpr char kAskPosition[] = "FPOSRO";
inline constexpr char kAskTemperature[] = "FTMPRO";
inline constexpr char kAskSign[] = "FTAXXA";
inline constexpr char kAskSettings[] = "SGETAL";
inline constexpr char kFactoryReset[] = "SEERAZ";
inline constexpr char kMoveDone = '*'; // somewhere in one read's text

inline const QString kFiveDigitMessage =
    QStringLiteral("Please use 5 digit number. 100 = 00100,..");
inline const QString kThreeDigitMessage = QStringLiteral("Please use 3 digit number. 10 = 010,..");

// The poll of one tick: position when due, else temperature.
QByteArray PollCommand(bool askPosition);

// prefix + one "0" per character that text falls short of width + text, unchanged (no trimming,
// no number check, nothing cut off).
QByteArray PaddedCommand(const char* prefix, const QString& text, int width);

// "M", "FLA", "SMA": sent only when exactly six characters; nullopt otherwise (the caller logs
// kFiveDigitMessage or kThreeDigitMessage).
std::optional<QByteArray> MaxPositionCommand(const QString& text); // M + 5
std::optional<QByteArray> CoefficientCommand(const QString& text); // FLA + 3
std::optional<QByteArray> ThresholdCommand(const QString& text);   // SMA + 3

// "I" / "O" + text padded to five, whatever the length ("I100000", "I0000 ").
QByteArray MoveCommand(bool in, const QString& steps);

// Speed list item 0 "Average", 1 "Slow", 2 "UltraSlow" -> SMO002..SMO004; empty for no item.
QByteArray SpeedCommand(int item);
QByteArray RotationCommand(bool reversed); // SMROTT / SMROTH
QByteArray HalfStepCommand(bool half);     // SMSTPD / SMSTPF
QByteArray SignCommand(bool set);          // FZAXX1 / FZAXX0

// Sign reply: character 3 as an integer, 1 or more means set. A reply too short or not a
// number raises Failure with the conversion's text.
bool SignFlag(const QByteArray& reply);

// The settings reply, field by field in display order. Character places count from 1.
enum class SettingsField {
    Rotation,
    HalfSteps,
    Speed,
    Coefficient,
    Threshold,
    Firmware,
    MaxPosition
};
struct FieldPlace {
    SettingsField field;
    int first; // 1-based
    int width;
};
inline constexpr FieldPlace kSettingsFields[] = {
    {SettingsField::Rotation, 3, 1},     {SettingsField::HalfSteps, 5, 1},
    {SettingsField::Speed, 7, 1},        {SettingsField::Coefficient, 9, 3},
    {SettingsField::Threshold, 13, 3},   {SettingsField::Firmware, 17, 4},
    {SettingsField::MaxPosition, 22, 5},
};

// Calls show(field, value) for each field in order, each taken from the characters present at
// its place. A field with no character at its place, or not a decimal integer, raises Failure
// ("'<text>' n'est pas une valeur entière correcte") after the fields before it were shown.
void DecodeSettings(const QByteArray& reply, const std::function<void(SettingsField, int)>& show);

// Speed code of the settings reply -> speed list item (2 -> 0, 3 -> 1, 4 -> 2), -1 otherwise.
int SpeedItem(int code);

// Firmware from which the focuser knows the coefficient sign flag.
inline constexpr int kSignFirmware = 1321;

// The most steps one move may ask for, and the move box's text as a step count: a whole number
// from 0 to kMaxMoveSteps (blanks around it allowed), nullopt otherwise.
inline constexpr int kMaxMoveSteps = 65535;
std::optional<int> MoveSteps(const QString& text);

// How long a move may take before its wait for the completion mark gives up, in ms: the steps
// at the slowest motor speed we allow for (50 steps/s) plus 10 s; steps count up to
// kMaxMoveSteps.
int MoveWaitLimitMs(int steps);

// The settings reply decoded whole (DecodeSettings' fields); raises as DecodeSettings does.
struct TFocuserSettings {
    bool reversed = false;
    bool halfSteps = false;
    int speedItem = -1;
    int coefficient = 0;
    int threshold = 0;
    int firmware = 0;
    int maxPosition = 0;
};
TFocuserSettings SettingsOf(const QByteArray& reply);

} // namespace focuser
