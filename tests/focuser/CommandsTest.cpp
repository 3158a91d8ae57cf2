// SPDX-License-Identifier: GPL-3.0-or-later
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
        // clang-format off
        {MaxPositionCommand("6000"), "M06000"},   {MaxPositionCommand(""), "M00000"},
        {MaxPositionCommand("65535"), "M65535"},  {MaxPositionCommand("99999"), "M99999"},
        {MaxPositionCommand("123456"), none},     {CoefficientCommand("15"), "FLA015"},
        {CoefficientCommand("1000"), none},       {ThresholdCommand("5"), "SMA005"},
        {ThresholdCommand("1000"), none},         {MoveCommand(true, "100"), "I00100"},
        {MoveCommand(false, "100"), "O00100"},    {MoveCommand(true, "10000"), "I10000"},
        {MoveCommand(true, "100000"), "I100000"}, {MoveCommand(true, " "), "I0000 "},
        {SpeedCommand(0), "SMO002"},              {SpeedCommand(2), "SMO004"},
        {SpeedCommand(-1), ""},                   {RotationCommand(true), "SMROTT"},
        {RotationCommand(false), "SMROTH"},       {HalfStepCommand(true), "SMSTPD"},
        {HalfStepCommand(false), "SMSTPF"},       {SignCommand(true), "FZAXX1"},
        {SignCommand(false), "FZAXX0"},
        // clang-format on
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].formed, cases[i].expected) << i;
}

TEST(FocuserCommands, SettingsAndSignRepliesDecode) {
    // Values shown in field order: rotation, half steps, speed, coefficient, threshold,
    // firmware, maximum.
    const struct {
        QByteArray reply;
        std::vector<int> shown;
        bool fails;
    } cases[] = {
        {"S=1;0;3;015;005;1321;06000\n", {1, 0, 3, 15, 5, 1321, 6000}, false},
        {"S=0;1;2;010;020;1320;6000", {0, 1, 2, 10, 20, 1320, 6000}, false}, // 25 characters
        // A bad field stops the decoding after the fields before it.
        {"S=1;1;4;0x5;005;1321;06000", {1, 1, 4}, true},
        {"A=1", {1}, true},
        {"", {}, true},
    };
    for (const auto& c : cases) {
        std::vector<int> shown;
        bool failed = false;
        try {
            DecodeSettings(c.reply, [&](SettingsField, int value) { shown.push_back(value); });
        } catch (const Failure&) {
            failed = true;
        }
        EXPECT_EQ(shown, c.shown) << c.reply.constData();
        EXPECT_EQ(failed, c.fails) << c.reply.constData();
    }
    // Speed codes 1 and 5 choose nothing; a sign reply's third character is the flag.
    EXPECT_EQ(std::vector({SpeedItem(1), SpeedItem(3), SpeedItem(5)}), std::vector({-1, 1, -1}));
    EXPECT_EQ(std::vector({SignFlag("A=1\n"), SignFlag("A=9"), SignFlag("A=0\n")}),
              std::vector({true, true, false}));
    EXPECT_THROW(SignFlag("A="), Failure);
}
