// Forming the focuser's commands and decoding its settings and sign replies.
#include "Commands.h"
#include "Failure.h"

#include <gtest/gtest.h>

using namespace focuser;

TEST(FocuserCommands, FormedFromTheControlsTexts) {
    const auto none = std::optional<QByteArray>();
    const struct {
        std::optional<QByteArray> formed, expected;
    } cases[] = {
        {MaxPositionCommand("6000"), "M06000"},
        {MaxPositionCommand(""), "M00000"},
        {MaxPositionCommand("65535"), "M65535"},
        {MaxPositionCommand("99999"), "M99999"}, // only the length counts
        {MaxPositionCommand("123456"), none},
        {CoefficientCommand("15"), "FLA015"},
        {CoefficientCommand("1000"), none},
        {ThresholdCommand("5"), "SMA005"},
        {ThresholdCommand("1000"), none},
        {MoveCommand(true, "100"), "I00100"},
        {MoveCommand(false, "100"), "O00100"},
        {MoveCommand(true, "10000"), "I10000"},
        {MoveCommand(true, "100000"), "I100000"}, // moves are sent whatever their length
        {MoveCommand(true, " "), "I0000 "},
        {SpeedCommand(0), "SMO002"},
        {SpeedCommand(2), "SMO004"},
        {SpeedCommand(-1), ""},
        {RotationCommand(true), "SMROTT"},
        {RotationCommand(false), "SMROTH"},
        {HalfStepCommand(true), "SMSTPD"},
        {HalfStepCommand(false), "SMSTPF"},
        {SignCommand(true), "FZAXX1"},
        {SignCommand(false), "FZAXX0"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].formed, cases[i].expected) << i;
}

TEST(FocuserCommands, SettingsAndSignRepliesDecode) {
    using F = SettingsField;
    const struct {
        QByteArray reply;
        std::vector<std::pair<F, int>> shown;
        bool fails;
    } cases[] = {
        {"S=1;0;3;015;005;1321;06000\n",
         {{F::Rotation, 1},
          {F::HalfSteps, 0},
          {F::Speed, 3},
          {F::Coefficient, 15},
          {F::Threshold, 5},
          {F::Firmware, 1321},
          {F::MaxPosition, 6000}},
         false},
        // 25 characters: the maximum comes from characters 22 to 25.
        {"S=0;1;2;010;020;1320;6000",
         {{F::Rotation, 0},
          {F::HalfSteps, 1},
          {F::Speed, 2},
          {F::Coefficient, 10},
          {F::Threshold, 20},
          {F::Firmware, 1320},
          {F::MaxPosition, 6000}},
         false},
        // A bad field stops the decoding after the fields before it.
        {"S=1;1;4;0x5;005;1321;06000", {{F::Rotation, 1}, {F::HalfSteps, 1}, {F::Speed, 4}}, true},
        {"A=1", {{F::Rotation, 1}}, true},
        {"", {}, true},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<F, int>> shown;
        bool failed = false;
        try {
            DecodeSettings(c.reply, [&](F field, int value) { shown.emplace_back(field, value); });
        } catch (const Failure&) {
            failed = true;
        }
        EXPECT_EQ(shown, c.shown) << c.reply.constData();
        EXPECT_EQ(failed, c.fails) << c.reply.constData();
    }
    EXPECT_EQ(SpeedItem(1), -1);
    EXPECT_EQ(SpeedItem(3), 1);
    EXPECT_EQ(SpeedItem(5), -1);
    EXPECT_TRUE(SignFlag("A=1\n"));
    EXPECT_TRUE(SignFlag("A=9"));
    EXPECT_FALSE(SignFlag("A=0\n"));
    EXPECT_THROW(SignFlag("A="), Failure);
}
