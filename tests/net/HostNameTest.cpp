// SPDX-License-Identifier: GPL-3.0-or-later
// Which Host values name this computer.
#include "HostName.h"

#include <QList>
#include <gtest/gtest.h>

#include <unistd.h>

TEST(HostName, OnlyAddressesAndThisComputersNamesAreThisComputer) {
    char own[256] = {};
    ASSERT_EQ(gethostname(own, sizeof own - 1), 0);
    const QByteArray name = QByteArray(own).split('.').first();
    const struct {
        QByteArray host;
        bool ours;
    } cases[] = {
        {"", true},
        {"192.168.1.20", true},
        {"192.168.1.20:1321", true},
        {"[::1]", true},
        {"[fe80::1%eth0]:11111", true},
        {"::1", true},
        {"localhost", true},
        {"LocalHost.:1321", true},
        {name.toUpper(), true},
        {name + ".local:1321", true},
        {name + ".local.", true},
        {"rebound.example", false},
        {"rebound.example:1321", false},
        {"192.168.1.20.nip.io", false},
        {"1.2.3", false},
        {"localhost.rebound.example", false},
        {name + ".rebound.example", false},
        {"[::1]x", false},
        {"[::1", false},
        {"127.0.0.1:1321x", false},
        {"localhost:", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(net::ForeignHost(c.host).isEmpty(), c.ours) << c.host.toStdString();
    EXPECT_EQ(net::ForeignHost("rebound.example"),
              QStringLiteral("Host rebound.example is not this computer"));
}
