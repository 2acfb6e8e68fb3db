// A test suite that runs against one zaptor_target.exe in its own process,
// started before the suite's first test and closed after its last.
#pragma once

#include "tools/target_app/target_client.h"

#include <gtest/gtest.h>

class Target_app_test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE((target = new Target_app)->start()); }
    static void TearDownTestSuite() { delete target; }
    static inline Target_app* target = nullptr;
};
