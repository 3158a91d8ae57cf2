// SPDX-License-Identifier: GPL-3.0-or-later
// Test main for device tests: an event loop for the links' notifications, no window.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
