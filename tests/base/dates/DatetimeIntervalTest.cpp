#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/dates/MyDatetime.h"
#include "tests/base/dates/CivilReference.h"

TEST(DatetimeInterval, MilliSecondsWorkedExamples) {
  const CMyDatetime a(2024, 1, 2, 0, 0, 0, 1);
  const CMyDatetime b(2024, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(IntervalMilliSec(a, b), 86400001);
  EXPECT_EQ(IntervalMilliSec(b, a), -86400001);
  EXPECT_EQ(IntervalMilliSec(a, a), 0);
  const CMyDatetime c(2024, 1, 1, 23, 59, 59, 999);
  const CMyDatetime d(2024, 1, 2, 0, 0, 0, 0);
  EXPECT_EQ(IntervalMilliSec(d, c), 1);
  EXPECT_EQ(IntervalMilliSec(CMyDatetime(2025, 1, 1, 0, 0, 0, 0), CMyDatetime(2024, 1, 1, 0, 0, 0, 0)),
            366LL * 86400000);
}

TEST(DatetimeInterval, SecondsWithAndWithoutRounding) {
  const CMyDatetime a(2024, 1, 1, 10, 0, 0, 0);
  const CMyDatetime b(2024, 1, 1, 10, 0, 0, 600);
  EXPECT_EQ(IntervalSec(a, b, true), -1);
  EXPECT_EQ(IntervalSec(b, a, true), 1);
  EXPECT_EQ(IntervalSec(a, b, false), 0);
  const CMyDatetime c(2024, 1, 1, 10, 0, 1, 0);
  const CMyDatetime e(2024, 1, 1, 10, 0, 0, 999);
  EXPECT_EQ(IntervalSec(c, e, false), 1);
  EXPECT_EQ(IntervalSec(c, e, true), 0);
  EXPECT_EQ(IntervalSec(e, c, false), -1);
  EXPECT_EQ(IntervalSec(CMyDatetime(2024, 1, 1, 10, 0, 1, 499), a, true), 1);
  EXPECT_EQ(IntervalSec(CMyDatetime(2024, 1, 1, 10, 0, 1, 500), a, true), 2);
  EXPECT_EQ(IntervalSec(CMyDatetime(2024, 1, 2, 0, 0, 0, 0), CMyDatetime(2023, 12, 31, 23, 59, 59, 0), false),
            86401);
  // Beyond the int range the result is clamped.
  const CMyDatetime far(9999, 1, 1, 0, 0, 0, 0);
  const CMyDatetime near(1900, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(IntervalSec(far, near, false), 2147483647);
  EXPECT_EQ(IntervalSec(near, far, true), -2147483647);
  EXPECT_EQ(IntervalMin(far, near), 2147483647);
  EXPECT_EQ(IntervalMin(near, far), -2147483647 - 1);
  EXPECT_EQ(IntervalHour(far, near),
            (civil_ref::Julian(9999, 1, 1) - civil_ref::Julian(1900, 1, 1)) * 24);
}

TEST(DatetimeInterval, MinutesAndHoursTruncateTowardZero) {
  const CMyDatetime a(2024, 1, 1, 10, 0, 0, 0);
  EXPECT_EQ(IntervalMin(CMyDatetime(2024, 1, 1, 10, 59, 59, 999), a), 59);
  EXPECT_EQ(IntervalMin(a, CMyDatetime(2024, 1, 1, 10, 59, 59, 999)), -59);
  EXPECT_EQ(IntervalHour(CMyDatetime(2024, 1, 2, 9, 59, 59, 999), a), 23);
  EXPECT_EQ(IntervalHour(a, CMyDatetime(2024, 1, 2, 10, 0, 0, 0)), -24);
}

TEST(DatetimeInterval, AllAndStr) {
  const CMyDatetime a(2024, 3, 3, 1, 2, 3, 4);
  const CMyDatetime b(2024, 3, 1, 0, 0, 0, 0);
  int d = -9, h = -9, m = -9, s = -9, ms = -9;
  EXPECT_EQ(IntervalAll(a, b, d, h, m, s, ms), 1);
  EXPECT_EQ(d, 2);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(m, 2);
  EXPECT_EQ(s, 3);
  EXPECT_EQ(ms, 4);
  EXPECT_EQ(IntervalAll(b, a, d, h, m, s, ms), -1);
  EXPECT_EQ(d, 2);
  EXPECT_EQ(ms, 4);
  EXPECT_EQ(IntervalStr(a, b), "2 01:02:03:004");
  EXPECT_EQ(IntervalStr(b, a), "- 2 01:02:03:004");
  EXPECT_EQ(IntervalStr(a, a), "0 00:00:00:000");
  EXPECT_EQ(IntervalAll(a, a, d, h, m, s, ms), 1);
  EXPECT_EQ(d + h + m + s + ms, 0);
  // Borrowing through every field, across a leap day.
  EXPECT_EQ(IntervalStr(CMyDatetime(2024, 3, 1, 0, 0, 0, 0), CMyDatetime(2024, 2, 28, 23, 59, 59, 999)),
            "1 00:00:00:001");
}

TEST(DatetimeInterval, RandomPairsAreConsistent) {
  // The pieces of IntervalAll add up to IntervalMilliSec, the sign flips with
  // the order, and moving b by the interval lands on a.
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> year(1900, 2100), month(1, 12), day(1, 28), hour(0, 23),
      minute(0, 59), ms(0, 999);
  for (int k = 0; k < 20000; ++k) {
    const CMyDatetime a(year(rng), month(rng), day(rng), hour(rng), minute(rng), minute(rng), ms(rng));
    const CMyDatetime b(year(rng), month(rng), day(rng), hour(rng), minute(rng), minute(rng), ms(rng));
    const int64_t nMs = IntervalMilliSec(a, b);
    ASSERT_EQ(IntervalMilliSec(b, a), -nMs);
    int d = 0, h = 0, m = 0, s = 0, r = 0;
    const int nSign = IntervalAll(a, b, d, h, m, s, r);
    ASSERT_EQ(nSign, nMs < 0 ? -1 : 1);
    ASSERT_EQ(nSign * ((((static_cast<int64_t>(d) * 24 + h) * 60 + m) * 60 + s) * 1000 + r), nMs);
    ASSERT_TRUE(h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60 && r >= 0 && r < 1000);
    CMyDatetime moved(b);
    moved.AddHour(static_cast<int>(nMs / 3600000));
    moved.AddMilliSec(static_cast<int>(nMs % 3600000));
    ASSERT_TRUE(moved == a) << IntervalStr(a, b);
    ASSERT_EQ(IntervalMin(a, b), nMs / 60000);
    ASSERT_EQ(IntervalSec(a, b, true), -IntervalSec(b, a, true));
  }
}
