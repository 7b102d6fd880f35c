// The single-instance guard within one process; portable tests.
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SingleInstance, SecondGuardOfTheSameNameIsRefusedUntilTheFirstCloses) {
    const std::string name = std::string(kSingleInstanceMutexName) + "-test";
    {
        CLimitSingleInstance first(name.c_str());
        EXPECT_FALSE(first.IsAnotherInstanceRunning());
        CLimitSingleInstance second(name.c_str());
        EXPECT_TRUE(second.IsAnotherInstanceRunning());
        CLimitSingleInstance other((name + "-other").c_str());
        EXPECT_FALSE(other.IsAnotherInstanceRunning()) << "names are distinct locks";
    }
    CLimitSingleInstance later(name.c_str());
    EXPECT_FALSE(later.IsAnotherInstanceRunning());
}

} // namespace
