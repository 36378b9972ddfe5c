#include "base/system/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

long long SecondsSinceEpoch(const CClockTime& t) {
  return DaysFromCivil(t.nYear, t.nMonth, t.nDay) * 86400 + t.nHour * 3600 + t.nMinute * 60 +
         t.nSecond;
}

void ExpectWellFormed(const CClockTime& t) {
  EXPECT_GE(t.nYear, 2020);
  EXPECT_LE(t.nYear, 2200);
  EXPECT_TRUE(t.nMonth >= 1 && t.nMonth <= 12);
  EXPECT_TRUE(t.nDay >= 1 && t.nDay <= 31);
  EXPECT_TRUE(t.nHour >= 0 && t.nHour <= 23);
  EXPECT_TRUE(t.nMinute >= 0 && t.nMinute <= 59);
  EXPECT_TRUE(t.nSecond >= 0 && t.nSecond <= 59);
  EXPECT_TRUE(t.nMilliSecond >= 0 && t.nMilliSecond <= 999);
  // The weekday belongs to the date (1970-01-01 was a Thursday).
  const long long nDays = DaysFromCivil(t.nYear, t.nMonth, t.nDay);
  EXPECT_EQ(t.nDayOfWeek, static_cast<int>(((nDays % 7) + 7 + 4) % 7));
}

}  // namespace

TEST(Clock, UtcReadingMatchesTheRuntimeClock) {
  const long long nBefore = static_cast<long long>(std::time(nullptr));
  CClockTime utc;
  GetUtcClock(utc);
  const long long nAfter = static_cast<long long>(std::time(nullptr));
  ExpectWellFormed(utc);
  const long long nRead = SecondsSinceEpoch(utc);
  EXPECT_GE(nRead, nBefore - 1);
  EXPECT_LE(nRead, nAfter + 1);
}

TEST(Clock, LocalReadingDiffersFromUtcByAZoneOffset) {
  CClockTime utc, local;
  GetUtcClock(utc);
  GetLocalClock(local);
  ExpectWellFormed(local);
  // Zone offsets are whole quarter hours within +-14 h; allow for the two
  // readings straddling a second.
  const long long nDiff = SecondsSinceEpoch(local) - SecondsSinceEpoch(utc);
  EXPECT_LE(nDiff, 14 * 3600 + 2);
  EXPECT_GE(nDiff, -14 * 3600 - 2);
  long long nOff = ((nDiff % 900) + 900) % 900;
  EXPECT_TRUE(nOff <= 2 || nOff >= 898) << "difference " << nDiff << " s";
}

TEST(Clock, TickCountIsMonotonicAndCountsMilliseconds) {
  using Steady = std::chrono::steady_clock;
  uint64_t nLast = GetTickCountMs();
  const auto tOuterStart = Steady::now();
  const uint64_t nStart = GetTickCountMs();
  const auto tInnerStart = Steady::now();
  // Spin (no sleep) until 100 ms of steady time have passed.
  Steady::time_point tInnerEnd;
  do {
    const uint64_t nNow = GetTickCountMs();
    ASSERT_GE(nNow, nLast);
    nLast = nNow;
    tInnerEnd = Steady::now();
  } while (tInnerEnd - tInnerStart < std::chrono::milliseconds(100));
  const uint64_t nEnd = GetTickCountMs();
  const auto tOuterEnd = Steady::now();
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const long long nInner = duration_cast<milliseconds>(tInnerEnd - tInnerStart).count();
  const long long nOuter = duration_cast<milliseconds>(tOuterEnd - tOuterStart).count();
  const long long nTicks = static_cast<long long>(nEnd - nStart);
  // The tick count may be coarse (about 16 ms on Windows).
  EXPECT_GE(nTicks, nInner - 20);
  EXPECT_LE(nTicks, nOuter + 20);
}
