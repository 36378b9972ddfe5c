#include "base/system/DebugOutput.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifndef _WIN32
TEST(DebugOutput, SilentUnlessEnabled) {
  ::unsetenv("TOLVAN_DEBUG_OUTPUT");
  testing::internal::CaptureStderr();
  DebugOutput("hidden");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(DebugOutput, OneLinePerStringWhenEnabled) {
  ::setenv("TOLVAN_DEBUG_OUTPUT", "1", 1);
  testing::internal::CaptureStderr();
  DebugOutput("setting event");
  DebugOutput("ends with newline\n");
  DebugOutput(nullptr);
  std::string big(3000, 'x');
  DebugOutput(big.c_str());
  ::unsetenv("TOLVAN_DEBUG_OUTPUT");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "setting event\nends with newline\n" + big + "\n");
}
#endif
