// SPDX-License-Identifier: GPL-3.0-or-later
#include "Commands.h"

#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.toStdString() << '"';
}

TEST(DewCommands, EveryCommandIsFormedExactly) {
    const struct {
        QByteArray got;
        QByteArray want;
    } cases[] = {
        {dew::OutputCommand(2, 7), "S2O070"},
        {dew::OutputCommand(2, 10), "S2O100"},
        {dew::OutputCommand(2, 0), "S2O000"},
        {dew::OutputCommand(1, 5), "S1O050"},
        {dew::OutputCommand(3, 4), "S3O040"},
        {dew::CalibrationCommand("3", "0", "9"), "SCA309"},
        {dew::CalibrationCommand("3", "", "9"), "SCA39"}, // an emptied spin edit adds nothing
        {dew::ThresholdsCommand("2", "5"), "STHR25"},
        {dew::ThresholdsCommand("", "5"), "STHR5"},
        {dew::LinkCommand(false), "SLINK0"},
        {dew::LinkCommand(true), "SLINK1"},
        {dew::AutoCommand(false), "SAUTO0"},
        {dew::AutoCommand(true), "SAUTO1"},
        {dew::AggressivityCommand(0), "SAGGR1"}, // "1"
        {dew::AggressivityCommand(1), "SAGGR2"}, // "2"
        {dew::AggressivityCommand(2), "SAGGR3"}, // "5"
        {dew::AggressivityCommand(3), "SAGGR4"}, // "10"
        {dew::AggressivityCommand(-1), ""},      // no item
        {dew::kFactoryReset, "SEERAZ"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want);
}
