#pragma once
// Including this opens the application once per test executable, before any test runs (the
// platform comes from QT_QPA_PLATFORM).

#include <gtest/gtest.h>

#include "platform/application.h"

namespace kg::test {

struct ApplicationEnvironment : ::testing::Environment {
    void SetUp() override {
        static int argc = 1;
        static char name[] = "kg-test", *argv[] = {name, nullptr};
        ASSERT_TRUE(Application::open(argc, argv));
    }
};
inline ::testing::Environment* const kApplicationEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace kg::test
