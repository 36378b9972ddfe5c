#include "base/system/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "tests/base/dates/CivilReference.h"

namespace {

// Seconds since 1970 of a reading, after checking that every field is in range
// and the weekday belongs to the date.
long long CheckedSeconds(const CClockTime& t) {
  EXPECT_TRUE(t.nYear >= 2020 && t.nYear <= 2200 && t.nMonth >= 1 && t.nMonth <= 12 && t.nDay >= 1 &&
              t.nDay <= 31 && t.nHour >= 0 && t.nHour <= 23 && t.nMinute >= 0 && t.nMinute <= 59 &&
              t.nSecond >= 0 && t.nSecond <= 59 && t.nMilliSecond >= 0 && t.nMilliSecond <= 999);
  const long long nDays = civil_ref::DaysFromCivil(t.nYear, t.nMonth, t.nDay);
  EXPECT_EQ(t.nDayOfWeek, civil_ref::Weekday(nDays + civil_ref::kJulianOf19700101));
  return nDays * 86400 + t.nHour * 3600 + t.nMinute * 60 + t.nSecond;
}

}  // namespace

TEST(Clock, UtcMatchesTheRuntimeClockAndLocalDiffersByAZoneOffset) {
  const long long nBefore = static_cast<long long>(std::time(nullptr));
  CClockTime utc, local;
  GetUtcClock(utc);
  const long long nAfter = static_cast<long long>(std::time(nullptr));
  GetLocalClock(local);
  const long long nUtc = CheckedSeconds(utc);
  EXPECT_GE(nUtc, nBefore - 1);
  EXPECT_LE(nUtc, nAfter + 1);
  // Zone offsets are whole quarter hours within +-14 h; allow for the two
  // readings straddling a second.
  const long long nDiff = CheckedSeconds(local) - nUtc;
  EXPECT_LE(nDiff, 14 * 3600 + 2);
  EXPECT_GE(nDiff, -14 * 3600 - 2);
  const long long nOff = ((nDiff % 900) + 900) % 900;
  EXPECT_TRUE(nOff <= 2 || nOff >= 898) << "difference " << nDiff << " s";
}

TEST(Clock, TickCountIsMonotonicAndCountsMilliseconds) {
  using Steady = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  const auto tOuterStart = Steady::now();
  const uint64_t nStart = GetTickCountMs();
  const auto tInnerStart = Steady::now();
  uint64_t nLast = nStart;
  Steady::time_point tInnerEnd;
  do {  // spin (no sleep) for 100 ms of steady time
    const uint64_t nNow = GetTickCountMs();
    ASSERT_GE(nNow, nLast);
    nLast = nNow;
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
