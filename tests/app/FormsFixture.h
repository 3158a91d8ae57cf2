// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The five windows created as at start-up (not shown), destroyed after each test.
#include "DewController.h"
#include "Focuser.h"
#include "MainForm.h"
#include "QtTestSupport.h"
#include "Startup.h"

#include <gtest/gtest.h>

// Runs the event loop until no search and no device exchange is under way (at most ms).
inline bool Settle(int ms = 60000) {
    return WaitFor(
        [] {
            return !FormMain->Searching() && !FormMain->QLO->Busy() && !FormMain->QLO2->Busy() &&
                   !FormMain->BRS->Busy();
        },
        ms);
}

// A click on Connect All / Disconnect All, and what it started, to its end.
inline void ClickLoadDevices() {
    FormMain->ButtonLoadDevicesClick();
    ASSERT_TRUE(Settle());
}

class FormsTest : public testing::Test {
  protected:
    void SetUp() override { CreateForms(false); }
    void TearDown() override { DestroyForms(); }
};
