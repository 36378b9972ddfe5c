#include "base/system/DebugOutput.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifndef _WIN32
TEST(DebugOutput, OneLinePerStringOnlyWhenEnabled) {
  ::unsetenv("TOLVAN_DEBUG_OUTPUT");
  testing::internal::CaptureStderr();
  DebugOutput("hidden");
  ::setenv("TOLVAN_DEBUG_OUTPUT", "1", 1);
  DebugOutput("setting event");
  DebugOutput("ends with newline\n");
  DebugOutput(nullptr);
  const std::string strBig(3000, 'x');
  DebugOutput(strBig.c_str());
  ::unsetenv("TOLVAN_DEBUG_OUTPUT");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "setting event\nends with newline\n" + strBig + "\n");
}
#endif
