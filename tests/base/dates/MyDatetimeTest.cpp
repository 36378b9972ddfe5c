#include "base/dates/MyDatetime.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/base/dates/CivilReference.h"

namespace {

void ExpectDatetime(const CMyDatetime& t, int y, int mo, int d, int h, int mi, int s, int ms) {
  EXPECT_EQ(t.Year(), y);
  EXPECT_EQ(t.Month(), mo);
  EXPECT_EQ(t.Day(), d);
  EXPECT_EQ(t.Julian(), civil_ref::Julian(y, mo, d));
  EXPECT_EQ(t.DayOfWeek(), civil_ref::Weekday(t.Julian()));
  EXPECT_EQ(t.Hour(), h);
  EXPECT_EQ(t.Minute(), mi);
  EXPECT_EQ(t.Second(), s);
  EXPECT_EQ(t.MilliSecond(), ms);
}

}  // namespace

TEST(MyDatetime, DefaultAndUnreadClock) {
  ExpectDatetime(CMyDatetime(), 1900, 1, 1, 0, 0, 0, 0);
  ExpectDatetime(CMyDatetime(false, false), 1900, 1, 1, 0, 0, 0, 0);
}

TEST(MyDatetime, FormatTable) {
  struct Case {
    CMyDatetime value;
    const char* pattern;
    const char* want;
  } const cases[] = {
      // The log line stamp and the daily file name.
      {{2026, 12, 4, 14, 55, 16, 123}, "%Y-%M-%D %H:%U:%S.%R", "2026-12-04 14:55:16.123"},
      {{2026, 12, 4, 14, 55, 16, 123}, "%Y-%M-%D", "2026-12-04"},
      // The HTTP Date header.
      {{2026, 12, 4, 14, 55, 16, 0}, "%w, %D %m %Y %H:%U:%S GMT", "Fri, 04 Dec 2026 14:55:16 GMT"},
      {{2000, 1, 1, 0, 0, 0, 0}, "%w, %D %m %Y %H:%U:%S GMT", "Sat, 01 Jan 2000 00:00:00 GMT"},
      {{1994, 11, 6, 8, 49, 37, 0}, "%w, %D %m %Y %H:%U:%S GMT", "Sun, 06 Nov 1994 08:49:37 GMT"},
      // Stream form; lower-case time codes.
      {{2026, 12, 4, 14, 55, 16, 123}, "%Y-%M-%D %H:%U:%S:%R", "2026-12-04 14:55:16:123"},
      {{2026, 1, 2, 9, 5, 7, 45}, "%h:%u:%s.%r", "09:05:07.045"},
      {{2026, 1, 2, 23, 59, 59, 999}, "%H%U%S%R", "235959999"},
      // Date codes still work, unknown pairs and a trailing '%' vanish.
      {{2026, 12, 4, 1, 2, 3, 4}, "%N %W %l %y %Q%%", "December Friday F 26 "},
      {{2026, 12, 4, 1, 2, 3, 4}, "%R%", "004"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.Format(c.pattern), c.want) << c.pattern;
  }
  // Through a base reference the virtual Format still knows the time codes.
  const CMyDatetime t(2026, 12, 4, 14, 55, 16, 123);
  const CMyDate& asDate = t;
  EXPECT_EQ(asDate.Format("%H:%U"), "14:55");
  EXPECT_EQ(CMyDate(2026, 12, 4).Format("%H:%U"), ":");
}

TEST(MyDatetime, SevenFieldsNormalise) {
  ExpectDatetime(CMyDatetime(2024, 1, 1, 25, 0, 0, 0), 2024, 1, 2, 1, 0, 0, 0);
  ExpectDatetime(CMyDatetime(2024, 3, 1, 0, 0, -1, 0), 2024, 2, 29, 23, 59, 59, 0);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, 0, -1), 2023, 12, 31, 23, 59, 59, 999);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, 0, -1001), 2023, 12, 31, 23, 59, 58, 999);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, 59, 1500), 2024, 1, 1, 0, 1, 0, 500);
  ExpectDatetime(CMyDatetime(2024, 1, 1, 0, 0, -1, 1500), 2024, 1, 1, 0, 0, 0, 500);
  ExpectDatetime(CMyDatetime(2024, 1, 1, -49, 0, 0, 0), 2023, 12, 29, 23, 0, 0, 0);
  ExpectDatetime(CMyDatetime(2024, 13, 32, 0, 0, 0, 86400000), 2025, 2, 2, 0, 0, 0, 0);
  // Extreme fields do not overflow.
  const CMyDatetime big(2024, 1, 1, 2147483647, 2147483647, 2147483647, 2147483647);
  EXPECT_GE(big.Year(), 2024);
  EXPECT_LT(big.Hour(), 24);
  const CMyDatetime small(2024, 1, 1, -2147483647 - 1, -2147483647 - 1, -2147483647 - 1,
                          -2147483647 - 1);
  EXPECT_LE(small.Year(), 2024);
  EXPECT_GE(small.Hour(), 0);
}

TEST(MyDatetime, StampIsNormalisedInPlace) {
  CMyTimeStamp stamp(2024, 14, 1, 23, 59, 59, 1000);
  CMyDatetime t(stamp);
  ExpectDatetime(t, 2025, 2, 2, 0, 0, 0, 0);
  // Time fields and the day carry; the month stays as given.
  EXPECT_EQ(stamp.nYear, 2024);
  EXPECT_EQ(stamp.nMonth, 14);
  EXPECT_EQ(stamp.nDay, 2);
  EXPECT_EQ(stamp.nHour, 0);
  EXPECT_EQ(stamp.nMinute, 0);
  EXPECT_EQ(stamp.nSecond, 0);
  EXPECT_EQ(stamp.nMilliSecond, 0);

  CMyTimeStamp back;
  EXPECT_EQ(back.nYear, 0);
  t.GetTimeStamp(back);
  EXPECT_EQ(back.nYear, 2025);
  EXPECT_EQ(back.nMonth, 2);
  EXPECT_EQ(back.nDay, 2);

  CMyTimeStamp neg(2024, 1, 1, 0, -1, 0, 0);
  CMyDatetime u;
  u = neg;
  ExpectDatetime(u, 2023, 12, 31, 23, 59, 0, 0);
}

TEST(MyDatetime, ParseTextForms) {
  CMyDatetime t("2026-12-04 14:55:16:123");
  ExpectDatetime(t, 2026, 12, 4, 14, 55, 16, 123);
  EXPECT_EQ(t.TimeSeparator(), ':');
  EXPECT_EQ(t.DateSeparator(), '-');

  CMyDatetime log(std::string("2026/12/04 14:55:16.123"));
  ExpectDatetime(log, 2026, 12, 4, 14, 55, 16, 123);
  EXPECT_EQ(log.TimeSeparator(), '.');
  EXPECT_EQ(log.DateSeparator(), '/');

  ExpectDatetime(CMyDatetime("2026-12-04"), 2026, 12, 4, 0, 0, 0, 0);
  ExpectDatetime(CMyDatetime("2026-12-04 14"), 2026, 12, 4, 14, 0, 0, 0);
  ExpectDatetime(CMyDatetime("2026-12-04T14:55"), 2026, 12, 4, 14, 55, 0, 0);
  ExpectDatetime(CMyDatetime("2026-12-31 24:00:00:000"), 2027, 1, 1, 0, 0, 0, 0);
  CMyDatetime bad(2020, 1, 1, 1, 1, 1, 1);
  bad = "not a date";
  ExpectDatetime(bad, 1900, 1, 1, 0, 0, 0, 0);
  bad = std::string("2026-12-04 x");
  ExpectDatetime(bad, 2026, 12, 4, 0, 0, 0, 0);
}

TEST(MyDatetime, FormattedTextReadsBackEqual) {
  const CMyDatetime values[] = {
      {2026, 12, 4, 14, 55, 16, 123}, {1900, 1, 1, 0, 0, 0, 0}, {2024, 2, 29, 23, 59, 59, 999},
      {1, 1, 1, 1, 1, 1, 1},          {9999, 12, 31, 12, 0, 0, 500},
  };
  for (const CMyDatetime& v : values) {
    const std::string strText = v.Format("%Y-%M-%D %H:%U:%S:%R");
    const CMyDatetime back(strText);
    EXPECT_TRUE(back == v) << strText;
    EXPECT_EQ(back.Format("%Y-%M-%D %H:%U:%S:%R"), strText);
  }
}

TEST(MyDatetime, CopiesKeepValueNotSeparators) {
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
  CMyDatetime t(2024, 1, 1, 10, 0, 0, 0);
  t.DevMilliSec(-5);
  ExpectDatetime(t, 2024, 1, 1, 10, 0, 0, 5);

  t = CMyDatetime(2024, 1, 1, 10, 0, 0, 900);
  t.AddMilliSec(1500);
  ExpectDatetime(t, 2024, 1, 1, 10, 0, 2, 400);

  t = CMyDatetime(2024, 1, 1, 20, 0, 0, 0);
  t.AddHour(30);
  ExpectDatetime(t, 2024, 1, 3, 2, 0, 0, 0);

  t = CMyDatetime(2024, 1, 1, 20, 0, 0, 0);
  t.DevHour(21);
  ExpectDatetime(t, 2023, 12, 31, 23, 0, 0, 0);

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
  t.AddSecond(0);
  ExpectDatetime(t, 2024, 2, 27, 23, 59, 59, 0);
  t.DevHour(-48);
  ExpectDatetime(t, 2024, 2, 29, 23, 59, 59, 0);

  // The extreme counts: no overflow, exact result.
  t = CMyDatetime(2024, 1, 1, 0, 0, 0, 0);
  t.DevMilliSec(-2147483647 - 1);
  t.AddMilliSec(-2147483647 - 1);
  ExpectDatetime(t, 2024, 1, 1, 0, 0, 0, 0);
  t.AddHour(2147483647);
  t.DevHour(2147483647);
  ExpectDatetime(t, 2024, 1, 1, 0, 0, 0, 0);
}

TEST(MyDatetime, DateOperatorsKeepTheTime) {
  CMyDatetime t(2024, 1, 31, 12, 34, 56, 789);
  ExpectDatetime(t * 1, 2024, 3, 2, 12, 34, 56, 789);
  ExpectDatetime(t ^ 1, 2025, 1, 31, 12, 34, 56, 789);
  ExpectDatetime(t + 1, 2024, 2, 1, 12, 34, 56, 789);
  ExpectDatetime(t - 31, 2023, 12, 31, 12, 34, 56, 789);
  CMyDatetime pre = ++t;
  ExpectDatetime(pre, 2024, 2, 1, 12, 34, 56, 789);
  CMyDatetime post = t--;
  ExpectDatetime(post, 2024, 2, 1, 12, 34, 56, 789);
  ExpectDatetime(t, 2024, 1, 31, 12, 34, 56, 789);
  t += 1;
  t *= 1;
  ExpectDatetime(t, 2024, 3, 1, 12, 34, 56, 789);
}

TEST(MyDatetime, Comparisons) {
  const CMyDatetime a(2024, 5, 1, 10, 0, 0, 0);
  const CMyDatetime fields[] = {
      {2024, 5, 2, 0, 0, 0, 0}, {2024, 5, 1, 11, 0, 0, 0}, {2024, 5, 1, 10, 1, 0, 0},
      {2024, 5, 1, 10, 0, 1, 0}, {2024, 5, 1, 10, 0, 0, 1},
  };
  for (const CMyDatetime& b : fields) {
    EXPECT_TRUE(a < b && b > a && a <= b && b >= a && !(a >= b) && !(a == b) && a != b);
  }
  const CMyDatetime same(a);
  EXPECT_TRUE(a == same && a <= same && a >= same && !(a < same) && !(a > same));
  // Against a plain date only the days count.
  const CMyDate day(2024, 5, 1);
  EXPECT_TRUE(a == day);
  EXPECT_TRUE(static_cast<const CMyDate&>(fields[1]) == static_cast<const CMyDate&>(a));
}

TEST(MyDatetime, PackedForm) {
  const CMyDatetime t(2026, 12, 4, 23, 59, 59, 999);
  const CMyTime2Int p = t.Get2Int();
  EXPECT_EQ(p.nJulian, t.Julian());
  EXPECT_EQ(p.uTime >> 26, 23u);
  EXPECT_EQ((p.uTime >> 20) & 63u, 59u);
  EXPECT_EQ((p.uTime >> 14) & 63u, 59u);
  EXPECT_EQ(p.uTime & 16383u, 999u);
  CMyDatetime back;
  back.SetBy2Int(p);
  EXPECT_TRUE(back == t);

  // Packed values order like the date-times they hold.
  const CMyDatetime order[] = {{2026, 12, 4, 0, 0, 0, 0},   {2026, 12, 4, 0, 0, 0, 999},
                               {2026, 12, 4, 0, 0, 59, 0},  {2026, 12, 4, 0, 59, 0, 0},
                               {2026, 12, 4, 23, 0, 0, 0},  {2026, 12, 5, 0, 0, 0, 0}};
  for (size_t i = 0; i + 1 < sizeof(order) / sizeof(order[0]); ++i) {
    const CMyTime2Int lo = order[i].Get2Int(), hi = order[i + 1].Get2Int();
    EXPECT_TRUE(lo < hi && hi > lo && lo <= hi && hi >= lo && lo != hi && !(lo == hi));
  }
  EXPECT_TRUE(CMyTime2Int() == CMyTime2Int(0, 0u));

  // Bit fields beyond the time's range carry instead of being stored.
  CMyDatetime over;
  over.SetBy2Int(CMyTime2Int(t.Julian(), 63u << 26 | 63u << 20 | 63u << 14 | 16383u));
  ExpectDatetime(over, 2026, 12, 6, 16, 4, 19, 383);
}

TEST(MyDatetime, UtcAndLocalClockDifferByTheZoneOffset) {
  const CMyDatetime utc(true, true);
  const CMyDatetime local(true, false);
  EXPECT_GE(utc.Year(), 2020);
  // Whole quarter hours within +-14 h, give or take the time between reads.
  const int64_t nDiff = IntervalMilliSec(local, utc);
  EXPECT_LE(nDiff, 14 * 3600000LL + 2000);
  EXPECT_GE(nDiff, -14 * 3600000LL - 2000);
  const int64_t nOff = ((nDiff % 900000) + 900000) % 900000;
  EXPECT_TRUE(nOff <= 2000 || nOff >= 898000) << nDiff;
  CMyDate today(true, true);
  EXPECT_TRUE(today == utc || today == utc + 1);  // midnight may pass between reads
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
