#pragma once
// Opens the application once for a test executable (the platform comes from QT_QPA_PLATFORM,
// set per test in CMake).

#include <gtest/gtest.h>

#include "platform/application.h"

namespace kg::test {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "kg-test";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(Application::open(argc, argv));
    }
};

}  // namespace kg::test
