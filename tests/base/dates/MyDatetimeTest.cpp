#include "base/dates/MyDatetime.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/base/dates/CivilReference.h"

namespace {

void ExpectDatetime(const CMyDatetime& t, int y, int mo, int d, int h, int mi, int s, int ms) {
  EXPECT_EQ(t.Julian(), civil_ref::Julian(y, mo, d));
  EXPECT_TRUE(t.Year() == y && t.Month() == mo && t.Day() == d);
  EXPECT_EQ(t.DayOfWeek(), civil_ref::Weekday(t.Julian()));
  EXPECT_TRUE(t.Hour() == h && t.Minute() == mi && t.Second() == s && t.MilliSecond() == ms);
}

}  // namespace

TEST(MyDatetime, FieldsCarryAndUnitAndDateArithmeticKeepTheRest) {
  // Fields out of range carry, negative ones borrow, extreme ones do not overflow.
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, 0, -1001), 2023, 12, 31, 23, 59, 58, 999);
  const int kMax = 2147483647, kMin = -kMax - 1;
  const CMyDatetime big(2024, 1, 1, kMax, kMax, kMax, kMax);
  const CMyDatetime small(2024, 1, 1, kMin, kMin, kMin, kMin);
  EXPECT_TRUE(big.Year() >= 2024 && big.Hour() < 24 && small.Year() <= 2024 && small.Hour() >= 0);

  CMyDatetime t(2024, 2, 28, 23, 59, 59, 999);
  t.AddMilliSec(1);
  ExpectDatetime(t, 2024, 2, 29, 0, 0, 0, 0);
  t.DevMinute(71);
  ExpectDatetime(t, 2024, 2, 28, 22, 49, 0, 0);
  // The extreme counts: no overflow, exact result.
  t = CMyDatetime(2024, 1, 1, 0, 0, 0, 0);
  t.DevMilliSec(kMin);
  t.AddMilliSec(kMin);
  t.AddHour(kMax);
  t.DevHour(kMax);
  ExpectDatetime(t, 2024, 1, 1, 0, 0, 0, 0);

  ExpectDatetime(CMyDatetime(2024, 1, 31, 12, 34, 56, 789) * 1, 2024, 3, 2, 12, 34, 56, 789);
  const CMyDatetime a(2024, 5, 1, 10, 0, 0, 0), b(2024, 5, 1, 10, 0, 0, 1);
  EXPECT_TRUE(a < b && b > a && a <= b && !(a >= b) && !(a == b) && a != b);
  EXPECT_TRUE(a == CMyDate(2024, 5, 1));  // against a plain date only the days count
}

TEST(MyDatetime, PackedFormAndStreamsRoundTrip) {
  const CMyDatetime t(2026, 12, 4, 23, 59, 59, 999);
  const CMyTime2Int p = t.Get2Int();
  EXPECT_TRUE(p.nJulian == t.Julian() && p.uTime == (23u << 26 | 59u << 20 | 59u << 14 | 999u));
  CMyDatetime back;
  back.SetBy2Int(p);
  EXPECT_TRUE(back == t);
  // Bit fields beyond the time's range carry instead of being stored.
  back.SetBy2Int(CMyTime2Int(t.Julian(), 63u << 26 | 63u << 20 | 63u << 14 | 16383u));
  ExpectDatetime(back, 2026, 12, 6, 16, 4, 19, 383);

  std::ostringstream os;
  os << CMyDate(5, 1, 2) << ' ' << t;
  EXPECT_EQ(os.str(), "05-01-02 2026-12-04 23:59:59:999");
  // One word per read: a date alone, or a date and time joined by one character.
  std::istringstream is("2026-12-04 2026-12-04_01:02:03:004");
  CMyDatetime a, b;
  is >> a >> b;
  ExpectDatetime(a, 2026, 12, 4, 0, 0, 0, 0);
  ExpectDatetime(b, 2026, 12, 4, 1, 2, 3, 4);
  EXPECT_FALSE(is >> back);
  ExpectDatetime(back, 2026, 12, 6, 16, 4, 19, 383);  // a failed read leaves the value
}

TEST(DatetimeInterval, RoundingTruncationClampsAndTheSplitForm) {
  const CMyDatetime a(2024, 1, 1, 10, 0, 0, 0);
  struct Case {
    CMyDatetime x, y;
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
    EXPECT_TRUE(IntervalMin(c.x, c.y) == c.nMin && IntervalHour(c.x, c.y) == c.nHour);
  }
  // Beyond the int range the result is clamped.
  const CMyDatetime far(9999, 1, 1, 0, 0, 0, 0), near(1900, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(IntervalSec(far, near, false), 2147483647);
  EXPECT_EQ(IntervalMin(near, far), -2147483647 - 1);
  // The split form, and its text borrowing through every field across a leap day.
  const CMyDatetime e(2024, 3, 3, 1, 2, 3, 4), b(2024, 3, 1, 0, 0, 0, 0);
  int d = -9, h = -9, m = -9, s = -9, ms = -9;
  EXPECT_EQ(IntervalAll(b, e, d, h, m, s, ms), -1);
  EXPECT_TRUE(d == 2 && h == 1 && m == 2 && s == 3 && ms == 4);
  EXPECT_EQ(IntervalStr(b, e), "- 2 01:02:03:004");
  EXPECT_EQ(IntervalStr(b, CMyDatetime(2024, 2, 28, 23, 59, 59, 999)), "1 00:00:00:001");
}
