// SPDX-License-Identifier: GPL-3.0-or-later
// The links under test are QObjects: they get a Qt core application, whose event loop never
// runs, so the tests read by polling and the links' receive notifications stay unused.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
