#pragma once
// The five windows created as at start-up (not shown), destroyed after each test.
#include "Startup.h"

#include <gtest/gtest.h>

class FormsTest : public testing::Test {
  protected:
    void SetUp() override { CreateForms(false); }
    void TearDown() override { DestroyForms(); }
};
