// SPDX-License-Identifier: GPL-3.0-or-later
// The rules every client's focuser move goes by.
#include "Moves.h"

#include <gtest/gtest.h>

namespace {

using focuser::TMoveAsk;
using focuser::TMoveState;

TMoveAsk Measured(TMoveAsk ask) {
    ask.measure = true;
    return ask;
}
TMoveAsk InTravel(TMoveAsk ask) {
    ask.withinTravel = true;
    return ask;
}

TEST(FocuserMoves, AsksAreTakenOrRefusedWithWhy) {
    const TMoveState at1000{true, false, 1000, 60000};
    const TMoveState unpolled{true, false, std::nullopt, 60000};
    const TMoveState compensating{true, true, 1000, 60000};
    const TMoveState closed{false, false, 1000, 60000};
    const TMoveState noSettings{true, false, 1000, std::nullopt};
    struct Case {
        const char* what;
        TMoveAsk ask;
        TMoveState state;
        const char* refused; // empty: taken
        bool badValue = false;
    } cases[] = {
        {"a move by steps", TMoveAsk::By(true, 400), at1000, ""},
        {"the most steps one move goes", TMoveAsk::By(false, 65535), at1000, ""},
        {"one step more", TMoveAsk::By(false, 65536), at1000,
         "65536 is not a number of steps from 0 to 65535", true},
        {"a target below 0", TMoveAsk::To(-1), at1000, "-1 is not a position from 0 to 65535",
         true},
        {"a focuser not connected", TMoveAsk::By(true, 10), closed, "Quillo 1 is not connected"},
        {"while the compensation runs", TMoveAsk::By(true, 10), compensating,
         "Quillo 1 moves by itself while its temperature compensation runs"},
        {"a relative move needs no position", TMoveAsk::By(true, 10), unpolled, ""},
        {"a go-to needs one", TMoveAsk::To(500), unpolled,
         "Quillo 1 has not reported its position yet"},
        {"even one that measures", Measured(TMoveAsk::To(500)), unpolled,
         "Quillo 1 has not reported its position yet"},
        {"a go-to past the maximum, travel kept", InTravel(TMoveAsk::To(60001)), at1000,
         "Quillo 1 would leave its travel from 0 to 60000 at 60001", true},
        {"a go-to past the maximum, as the phone asks", TMoveAsk::To(60001), at1000, ""},
        {"a relative move out of the travel", InTravel(TMoveAsk::By(true, 1001)), at1000,
         "Quillo 1 would leave its travel from 0 to 60000 at -1", true},
        {"without settings the travel is the largest move", InTravel(TMoveAsk::To(65535)),
         noSettings, ""},
    };
    for (const Case& c : cases) {
        const auto refusal = focuser::Refusal(c.ask, c.state, QStringLiteral("Quillo 1"));
        EXPECT_EQ(refusal ? refusal->why.toStdString() : std::string(), c.refused) << c.what;
        if (refusal) {
            EXPECT_EQ(refusal->badValue, c.badValue) << c.what;
        }
    }
}

TEST(FocuserMoves, AGoToIsTheDifferenceFromWhereTheFocuserIs) {
    struct Case {
        int target, position;
        bool in;
        int steps;
    } cases[] = {{30100, 30800, true, 700}, {30900, 30100, false, 800}, {500, 500, false, 0}};
    for (const Case& c : cases) {
        const auto plan = focuser::Plan(TMoveAsk::To(c.target), c.position);
        ASSERT_TRUE(std::holds_alternative<focuser::TMovePlan>(plan)) << c.target;
        EXPECT_EQ(std::get<focuser::TMovePlan>(plan).in, c.in) << c.target;
        EXPECT_EQ(std::get<focuser::TMovePlan>(plan).steps, c.steps) << c.target;
    }
    EXPECT_TRUE(std::holds_alternative<QString>(focuser::Plan(TMoveAsk::To(65535), -1)));
}

} // namespace
