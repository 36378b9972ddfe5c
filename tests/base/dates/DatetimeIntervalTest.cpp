#include <gtest/gtest.h>

#include <random>

#include "base/dates/MyDatetime.h"
#include "tests/base/dates/CivilReference.h"

namespace {
using T = CMyDatetime;
}  // namespace

TEST(DatetimeInterval, WorkedExamples) {
  const T a(2024, 1, 1, 10, 0, 0, 0);
  const T far(9999, 1, 1, 0, 0, 0, 0), near(1900, 1, 1, 0, 0, 0, 0);
  struct Case {
    T x, y;
    long long nMs, nSecRound, nSecTrunc, nMin, nHour;
  } const cases[] = {
      {{2024, 1, 2, 0, 0, 0, 1}, {2024, 1, 1, 0, 0, 0, 0}, 86400001, 86400, 86400, 1440, 24},
      {{2024, 1, 1, 0, 0, 0, 0}, {2024, 1, 2, 0, 0, 0, 1}, -86400001, -86400, -86400, -1440, -24},
      {{2024, 1, 2, 0, 0, 0, 0}, {2024, 1, 1, 23, 59, 59, 999}, 1, 0, 1, 0, 0},
      {{2025, 1, 1, 0, 0, 0, 0}, {2024, 1, 1, 0, 0, 0, 0}, 366LL * 86400000, 366 * 86400, 366 * 86400,
       366 * 1440, 366 * 24},
      {a, {2024, 1, 1, 10, 0, 0, 600}, -600, -1, 0, 0, 0},
      {{2024, 1, 1, 10, 0, 1, 0}, {2024, 1, 1, 10, 0, 0, 999}, 1, 0, 1, 0, 0},
      {{2024, 1, 1, 10, 0, 1, 499}, a, 1499, 1, 1, 0, 0},
      {{2024, 1, 1, 10, 0, 1, 500}, a, 1500, 2, 1, 0, 0},
      {{2024, 1, 2, 0, 0, 0, 0}, {2023, 12, 31, 23, 59, 59, 0}, 86401000, 86401, 86401, 1440, 24},
      // Minutes and hours truncate toward zero.
      {{2024, 1, 1, 10, 59, 59, 999}, a, 3599999, 3600, 3599, 59, 0},
      {a, {2024, 1, 1, 10, 59, 59, 999}, -3599999, -3600, -3599, -59, 0},
      {{2024, 1, 2, 9, 59, 59, 999}, a, 86399999, 86400, 86399, 1439, 23},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(IntervalStr(c.x, c.y));
    EXPECT_EQ(IntervalMilliSec(c.x, c.y), c.nMs);
    EXPECT_EQ(IntervalSec(c.x, c.y, true), c.nSecRound);
    EXPECT_EQ(IntervalSec(c.x, c.y, false), c.nSecTrunc);
    EXPECT_EQ(IntervalMin(c.x, c.y), c.nMin);
    EXPECT_EQ(IntervalHour(c.x, c.y), c.nHour);
  }
  // Beyond the int range the result is clamped.
  EXPECT_EQ(IntervalSec(far, near, false), 2147483647);
  EXPECT_EQ(IntervalSec(near, far, true), -2147483647);
  EXPECT_EQ(IntervalMin(far, near), 2147483647);
  EXPECT_EQ(IntervalMin(near, far), -2147483647 - 1);
  EXPECT_EQ(IntervalHour(far, near), (civil_ref::Julian(9999, 1, 1) - civil_ref::Julian(1900, 1, 1)) * 24);
}

TEST(DatetimeInterval, AllAndStr) {
  const T a(2024, 3, 3, 1, 2, 3, 4), b(2024, 3, 1, 0, 0, 0, 0);
  int d = -9, h = -9, m = -9, s = -9, ms = -9;
  EXPECT_EQ(IntervalAll(a, b, d, h, m, s, ms), 1);
  EXPECT_TRUE(d == 2 && h == 1 && m == 2 && s == 3 && ms == 4);
  EXPECT_EQ(IntervalAll(b, a, d, h, m, s, ms), -1);
  EXPECT_TRUE(d == 2 && ms == 4);
  EXPECT_EQ(IntervalStr(a, b), "2 01:02:03:004");
  EXPECT_EQ(IntervalStr(b, a), "- 2 01:02:03:004");
  EXPECT_EQ(IntervalStr(a, a), "0 00:00:00:000");
  // Borrowing through every field, across a leap day.
  EXPECT_EQ(IntervalStr(T(2024, 3, 1, 0, 0, 0, 0), T(2024, 2, 28, 23, 59, 59, 999)), "1 00:00:00:001");
}

TEST(DatetimeInterval, RandomPairsAreConsistent) {
  // The pieces of IntervalAll add up to IntervalMilliSec, the sign flips with
  // the order, and moving b by the interval lands on a.
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> year(1900, 2100), month(1, 12), day(1, 28), hour(0, 23),
      minute(0, 59), ms(0, 999);
  for (int k = 0; k < 20000; ++k) {
    const T a(year(rng), month(rng), day(rng), hour(rng), minute(rng), minute(rng), ms(rng));
    const T b(year(rng), month(rng), day(rng), hour(rng), minute(rng), minute(rng), ms(rng));
    const int64_t nMs = IntervalMilliSec(a, b);
    ASSERT_EQ(IntervalMilliSec(b, a), -nMs);
    int d = 0, h = 0, m = 0, s = 0, r = 0;
    const int nSign = IntervalAll(a, b, d, h, m, s, r);
    ASSERT_EQ(nSign, nMs < 0 ? -1 : 1);
    ASSERT_EQ(nSign * ((((static_cast<int64_t>(d) * 24 + h) * 60 + m) * 60 + s) * 1000 + r), nMs);
    ASSERT_TRUE(h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60 && r >= 0 && r < 1000);
    T moved(b);
    moved.AddHour(static_cast<int>(nMs / 3600000));
    moved.AddMilliSec(static_cast<int>(nMs % 3600000));
    ASSERT_TRUE(moved == a) << IntervalStr(a, b);
    ASSERT_EQ(IntervalMin(a, b), nMs / 60000);
    ASSERT_EQ(IntervalSec(a, b, true), -IntervalSec(b, a, true));
  }
}
