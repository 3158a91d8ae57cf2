// SPDX-License-Identifier: GPL-3.0-or-later
// Test main for tests that need the Qt application: offscreen platform, no modal boxes.
#include "ErrorBox.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TSkyvarnApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
