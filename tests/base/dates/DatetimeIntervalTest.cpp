#include <gtest/gtest.h>

#include "base/dates/MyDatetime.h"

namespace {
using T = CMyDatetime;
}  // namespace

TEST(DatetimeInterval, RoundingTruncationAndClamps) {
  const T a(2024, 1, 1, 10, 0, 0, 0);
  struct Case {
    T x, y;
    long long nMs, nSecRound, nSecTrunc, nMin, nHour;
  } const cases[] = {
      // Truncated seconds drop each value's milliseconds; rounding takes half a second up.
      {{2024, 1, 2, 0, 0, 0, 0}, {2024, 1, 1, 23, 59, 59, 999}, 1, 0, 1, 0, 0},
      {{2024, 1, 1, 10, 0, 1, 500}, a, 1500, 2, 1, 0, 0},
      // Every unit truncates toward zero, the sign follows the order.
      {a, {2024, 1, 2, 9, 59, 59, 999}, -86399999, -86400, -86399, -1439, -23},
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
  const T far(9999, 1, 1, 0, 0, 0, 0), near(1900, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(IntervalSec(far, near, false), 2147483647);
  EXPECT_EQ(IntervalMin(near, far), -2147483647 - 1);
}

TEST(DatetimeInterval, AllAndStr) {
  const T a(2024, 3, 3, 1, 2, 3, 4), b(2024, 3, 1, 0, 0, 0, 0);
  int d = -9, h = -9, m = -9, s = -9, ms = -9;
  EXPECT_EQ(IntervalAll(b, a, d, h, m, s, ms), -1);
  EXPECT_TRUE(d == 2 && h == 1 && m == 2 && s == 3 && ms == 4);
  EXPECT_EQ(IntervalStr(b, a), "- 2 01:02:03:004");
  // Borrowing through every field, across a leap day.
  EXPECT_EQ(IntervalStr(T(2024, 3, 1, 0, 0, 0, 0), T(2024, 2, 28, 23, 59, 59, 999)),
            "1 00:00:00:001");
}
