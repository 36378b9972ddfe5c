#include "base/system/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

// The time-outs count in this tick; checked against the runtime's steady clock.
TEST(Clock, TickCountCountsMilliseconds) {
  using Steady = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  const auto tOuterStart = Steady::now();
  const uint64_t nStart = GetTickCountMs();
  const auto tInnerStart = Steady::now();
  Steady::time_point tInnerEnd;
  do {  // spin (no sleep) for 100 ms of steady time
    tInnerEnd = Steady::now();
  } while (tInnerEnd - tInnerStart < milliseconds(100));
  const long long nTicks = static_cast<long long>(GetTickCountMs() - nStart);
  const auto tOuterEnd = Steady::now();
  // The tick count may be coarse (about 16 ms on Windows).
  EXPECT_GE(nTicks, std::chrono::duration_cast<milliseconds>(tInnerEnd - tInnerStart).count() - 20);
  EXPECT_LE(nTicks, std::chrono::duration_cast<milliseconds>(tOuterEnd - tOuterStart).count() + 20);
}

#ifdef _WIN32
#include "base/system/TimeOfDay.h"

// Windows has no gettimeofday of its own: ours reads the UTC clock.
TEST(TimeOfDay, ReadsTheUtcClockInWholeMilliseconds) {
  const std::time_t nBefore = std::time(nullptr);
  struct timeval tv {};
  ASSERT_EQ(gettimeofday(&tv, nullptr), 0);
  EXPECT_GE(static_cast<std::time_t>(tv.tv_sec), nBefore);
  EXPECT_LE(static_cast<std::time_t>(tv.tv_sec), std::time(nullptr));
  EXPECT_EQ(tv.tv_usec % 1000, 0) << tv.tv_usec;
  EXPECT_TRUE(tv.tv_usec >= 0 && tv.tv_usec < 1000000) << tv.tv_usec;
}
#endif
