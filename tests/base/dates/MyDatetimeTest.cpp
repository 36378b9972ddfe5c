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

TEST(MyDatetime, FormatTable) {
  const char* const kHttp = "%w, %D %m %Y %H:%U:%S GMT";
  struct Case {
    CMyDatetime value;
    const char* pattern;
    const char* want;
  } const cases[] = {
      // The log line stamp.
      {{2026, 12, 4, 14, 55, 16, 123}, "%Y-%M-%D %H:%U:%S.%R", "2026-12-04 14:55:16.123"},
      // The HTTP Date header.
      {{2026, 12, 4, 14, 55, 16, 0}, kHttp, "Fri, 04 Dec 2026 14:55:16 GMT"},
      {{2000, 1, 1, 0, 0, 0, 0}, kHttp, "Sat, 01 Jan 2000 00:00:00 GMT"},
      {{1994, 11, 6, 8, 49, 37, 0}, kHttp, "Sun, 06 Nov 1994 08:49:37 GMT"},
      // Lower-case time codes.
      {{2026, 1, 2, 9, 5, 7, 45}, "%h:%u:%s.%r", "09:05:07.045"},
      {{2026, 1, 2, 23, 59, 59, 999}, "%H%U%S%R", "235959999"},
      // Date codes still work, unknown pairs and a trailing '%' vanish.
      {{2026, 12, 4, 1, 2, 3, 4}, "%N %W %l %y %Q%%", "December Friday F 26 "},
      {{2026, 12, 4, 1, 2, 3, 4}, "%R%", "004"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value.Format(c.pattern), c.want) << c.pattern;
  // Through a base reference the virtual Format still knows the time codes.
  const CMyDatetime t(2026, 12, 4, 14, 55, 16, 123);
  EXPECT_EQ(static_cast<const CMyDate&>(t).Format("%H:%U"), "14:55");
  EXPECT_EQ(CMyDate(2026, 12, 4).Format("%H:%U"), ":");
}

TEST(MyDatetime, SevenFieldsNormalise) {
  ExpectDatetime(CMyDatetime(), 1900, 1, 1, 0, 0, 0, 0);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 25, 0, 0, 0), 2024, 1, 2, 1, 0, 0, 0);
  ExpectDatetime(CMyDatetime(2024, 3, 1, 0, 0, -1, 0), 2024, 2, 29, 23, 59, 59, 0);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, 0, -1001), 2023, 12, 31, 23, 59, 58, 999);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, 59, 1500), 2024, 1, 1, 0, 1, 0, 500);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, -1, 1500), 2024, 1, 1, 0, 0, 0, 500);
  ExpectDatetime(CMyDatetime(2024, 1, 1, -49, 0, 0, 0), 2023, 12, 29, 23, 0, 0, 0);
  ExpectDatetime(CMyDatetime(2024, 13, 32, 0, 0, 0, 86400000), 2025, 2, 2, 0, 0, 0, 0);
  // Extreme fields do not overflow.
  const CMyDatetime big(2024, 1, 1, 2147483647, 2147483647, 2147483647, 2147483647);
  EXPECT_TRUE(big.Year() >= 2024 && big.Hour() < 24);
  const int kMin = -2147483647 - 1;
  const CMyDatetime small(2024, 1, 1, kMin, kMin, kMin, kMin);
  EXPECT_TRUE(small.Year() <= 2024 && small.Hour() >= 0);
}

TEST(MyDatetime, StampIsNormalisedInPlace) {
  CMyTimeStamp stamp(2024, 14, 1, 23, 59, 59, 1000);
  CMyDatetime t(stamp);
  ExpectDatetime(t, 2025, 2, 2, 0, 0, 0, 0);
  // Time fields and the day carry; the month stays as given.
  EXPECT_TRUE(stamp.nYear == 2024 && stamp.nMonth == 14 && stamp.nDay == 2 && stamp.nHour == 0 &&
              stamp.nMinute == 0 && stamp.nSecond == 0 && stamp.nMilliSecond == 0);
  CMyTimeStamp back;
  t.GetTimeStamp(back);
  EXPECT_TRUE(back.nYear == 2025 && back.nMonth == 2 && back.nDay == 2);
  CMyTimeStamp neg(2024, 1, 1, 0, -1, 0, 0);
  CMyDatetime u;
  u = neg;
  ExpectDatetime(u, 2023, 12, 31, 23, 59, 0, 0);
}

TEST(MyDatetime, ParseTextFormsAndCopies) {
  CMyDatetime t("2026-12-04 14:55:16:123");
  ExpectDatetime(t, 2026, 12, 4, 14, 55, 16, 123);
  EXPECT_TRUE(t.TimeSeparator() == ':' && t.DateSeparator() == '-');
  CMyDatetime log(std::string("2026/12/04 14:55:16.123"));
  ExpectDatetime(log, 2026, 12, 4, 14, 55, 16, 123);
  EXPECT_TRUE(log.TimeSeparator() == '.' && log.DateSeparator() == '/');

  ExpectDatetime(CMyDatetime("2026-12-04 14"), 2026, 12, 4, 14, 0, 0, 0);
  ExpectDatetime(CMyDatetime("2026-12-04T14:55"), 2026, 12, 4, 14, 55, 0, 0);
  ExpectDatetime(CMyDatetime("2026-12-31 24:00:00:000"), 2027, 1, 1, 0, 0, 0, 0);
  CMyDatetime bad(2020, 1, 1, 1, 1, 1, 1);
  bad = "not a date";
  ExpectDatetime(bad, 1900, 1, 1, 0, 0, 0, 0);
  bad = std::string("2026-12-04 x");
  ExpectDatetime(bad, 2026, 12, 4, 0, 0, 0, 0);

  // Formatted text reads back equal.
  for (const CMyDatetime& v : {CMyDatetime(2024, 2, 29, 23, 59, 59, 999), CMyDatetime(1, 1, 1, 1, 1, 1, 1),
                               CMyDatetime(9999, 12, 31, 12, 0, 0, 500)}) {
    const std::string strText = v.Format("%Y-%M-%D %H:%U:%S:%R");
    EXPECT_TRUE(CMyDatetime(strText) == v) << strText;
  }

  // Copies keep the value; a copy made new has no separators of its own.
  CMyDatetime parsed("2026-12-04 14:55:16.123");
  CMyDatetime copy(parsed);
  EXPECT_TRUE(copy == parsed);
  EXPECT_EQ(copy.TimeSeparator(), '\0');
  CMyDatetime assigned("2000-01-01 00:00:00:000");
  assigned = parsed;
  EXPECT_TRUE(assigned == parsed);
  EXPECT_EQ(assigned.TimeSeparator(), ':');
}

TEST(MyDatetime, AddAndDevUnits) {
  CMyDatetime t(2024, 1, 1, 10, 0, 0, 900);
  t.AddMilliSec(1500);
  ExpectDatetime(t, 2024, 1, 1, 10, 0, 2, 400);
  t = CMyDatetime(2024, 1, 1, 20, 0, 0, 0);
  t.AddHour(30);
  ExpectDatetime(t, 2024, 1, 3, 2, 0, 0, 0);
  t = CMyDatetime(2024, 1, 1, 0, 10, 0, 0);
  t.DevMinute(71);
  ExpectDatetime(t, 2023, 12, 31, 22, 59, 0, 0);

  t = CMyDatetime(2024, 2, 28, 23, 59, 59, 999);
  t.AddMilliSec(1);
  ExpectDatetime(t, 2024, 2, 29, 0, 0, 0, 0);
  t.DevSecond(1);
  ExpectDatetime(t, 2024, 2, 28, 23, 59, 59, 0);
  t.AddMinute(-60 * 24);
  ExpectDatetime(t, 2024, 2, 27, 23, 59, 59, 0);
  t.DevHour(-48);
  ExpectDatetime(t, 2024, 2, 29, 23, 59, 59, 0);
  t.DevMilliSec(-5);
  ExpectDatetime(t, 2024, 2, 29, 23, 59, 59, 5);

  // The extreme counts: no overflow, exact result.
  t = CMyDatetime(2024, 1, 1, 0, 0, 0, 0);
  t.DevMilliSec(-2147483647 - 1);
  t.AddMilliSec(-2147483647 - 1);
  t.AddHour(2147483647);
  t.DevHour(2147483647);
  ExpectDatetime(t, 2024, 1, 1, 0, 0, 0, 0);
}

TEST(MyDatetime, DateOperatorsKeepTheTimeAndComparisons) {
  CMyDatetime t(2024, 1, 31, 12, 34, 56, 789);
  ExpectDatetime(t * 1, 2024, 3, 2, 12, 34, 56, 789);
  ExpectDatetime(t ^ 1, 2025, 1, 31, 12, 34, 56, 789);
  ExpectDatetime(t - 31, 2023, 12, 31, 12, 34, 56, 789);
  ExpectDatetime(++t, 2024, 2, 1, 12, 34, 56, 789);
  ExpectDatetime(t--, 2024, 2, 1, 12, 34, 56, 789);
  t += 1;
  t *= 1;
  ExpectDatetime(t, 2024, 3, 1, 12, 34, 56, 789);

  const CMyDatetime a(2024, 5, 1, 10, 0, 0, 0);
  const CMyDatetime later[] = {
      {2024, 5, 2, 0, 0, 0, 0}, {2024, 5, 1, 11, 0, 0, 0}, {2024, 5, 1, 10, 1, 0, 0},
      {2024, 5, 1, 10, 0, 1, 0}, {2024, 5, 1, 10, 0, 0, 1},
  };
  for (const CMyDatetime& b : later) {
    EXPECT_TRUE(a < b && b > a && a <= b && b >= a && !(a >= b) && !(a == b) && a != b);
  }
  const CMyDatetime same(a);
  EXPECT_TRUE(a == same && a <= same && a >= same && !(a < same) && !(a > same));
  // Against a plain date only the days count.
  EXPECT_TRUE(a == CMyDate(2024, 5, 1));
  EXPECT_TRUE(static_cast<const CMyDate&>(later[1]) == static_cast<const CMyDate&>(a));
}

TEST(MyDatetime, PackedForm) {
  const CMyDatetime t(2026, 12, 4, 23, 59, 59, 999);
  const CMyTime2Int p = t.Get2Int();
  EXPECT_EQ(p.nJulian, t.Julian());
  EXPECT_EQ(p.uTime, 23u << 26 | 59u << 20 | 59u << 14 | 999u);
  CMyDatetime back;
  back.SetBy2Int(p);
  EXPECT_TRUE(back == t);

  // Packed values order like the date-times they hold.
  const CMyDatetime order[] = {{2026, 12, 4, 0, 0, 0, 0},  {2026, 12, 4, 0, 0, 0, 999},
                               {2026, 12, 4, 0, 0, 59, 0}, {2026, 12, 4, 0, 59, 0, 0},
                               {2026, 12, 4, 23, 0, 0, 0}, {2026, 12, 5, 0, 0, 0, 0}};
  for (size_t i = 0; i + 1 < sizeof(order) / sizeof(order[0]); ++i) {
    const CMyTime2Int lo = order[i].Get2Int(), hi = order[i + 1].Get2Int();
    EXPECT_TRUE(lo < hi && hi > lo && lo <= hi && hi >= lo && lo != hi && !(lo == hi));
  }
  // Bit fields beyond the time's range carry instead of being stored.
  CMyDatetime over;
  over.SetBy2Int(CMyTime2Int(t.Julian(), 63u << 26 | 63u << 20 | 63u << 14 | 16383u));
  ExpectDatetime(over, 2026, 12, 6, 16, 4, 19, 383);
}

TEST(MyDatetime, Streams) {
  std::ostringstream os;
  os << CMyDatetime(2026, 12, 4, 14, 55, 16, 123);
  EXPECT_EQ(os.str(), "2026-12-04 14:55:16:123");
  // One word per read: the date, then the time as a date of its own.
  std::istringstream is(os.str() + " 2026-12-04_01:02:03:004");
  CMyDatetime a, b, c;
  is >> a >> b >> c;
  ExpectDatetime(a, 2026, 12, 4, 0, 0, 0, 0);
  ExpectDatetime(c, 2026, 12, 4, 1, 2, 3, 4);
  // Streaming through the base class writes the date form only.
  std::ostringstream osDate;
  osDate << static_cast<const CMyDate&>(CMyDatetime(2026, 12, 4, 14, 55, 16, 123));
  EXPECT_EQ(osDate.str(), "2026-12-04");
}
