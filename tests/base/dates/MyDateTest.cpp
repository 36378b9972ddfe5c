#include "base/dates/MyDate.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/base/dates/CivilReference.h"

namespace {

void ExpectDate(const CMyDate& d, int y, int m, int day) {
  EXPECT_EQ(d.Year(), y);
  EXPECT_EQ(d.Month(), m);
  EXPECT_EQ(d.Day(), day);
  EXPECT_EQ(d.Julian(), civil_ref::Julian(y, m, day));
  EXPECT_EQ(d.DayOfWeek(), civil_ref::Weekday(d.Julian()));
}

}  // namespace

TEST(MyDate, DefaultIsFirstOfJanuary1900AMonday) {
  CMyDate d;
  EXPECT_EQ(d.Julian(), 2415021);
  EXPECT_EQ(d.DayOfWeek(), 1);
  EXPECT_EQ(d.Format("%Y-%M-%D"), "1900-01-01");
  EXPECT_EQ(d.Format("%W %w %l"), "Monday Mon M");
  ExpectDate(CMyDate(false, true), 1900, 1, 1);
}

TEST(MyDate, ConstructorsAgree) {
  ExpectDate(CMyDate(2026, 12, 4), 2026, 12, 4);
  ExpectDate(CMyDate(2461379), 2026, 12, 4);
  ExpectDate(CMyDate("2026-12-04"), 2026, 12, 4);
  ExpectDate(CMyDate(std::string("2026/12/4")), 2026, 12, 4);
  CMyDate d;
  d = 2451545;
  ExpectDate(d, 2000, 1, 1);
  d = "1999.12.31";
  ExpectDate(d, 1999, 12, 31);
  d = std::string("2024-02-29");
  ExpectDate(d, 2024, 2, 29);
  CMyDate copy(d);
  ExpectDate(copy, 2024, 2, 29);
  CMyDate other;
  other = copy;
  ExpectDate(other, 2024, 2, 29);
}

TEST(MyDate, OutOfRangeTriplesRollOver) {
  ExpectDate(CMyDate(2024, 2, 30), 2024, 3, 1);
  ExpectDate(CMyDate(2024, 13, 1), 2025, 1, 1);
  ExpectDate(CMyDate(2024, 0, 1), 2023, 12, 1);
  ExpectDate(CMyDate(2024, 3, 0), 2024, 2, 29);
  ExpectDate(CMyDate(2024, 15, 1), 2025, 3, 1);
  ExpectDate(CMyDate("2024-14-31"), 2025, 3, 3);
}

TEST(MyDate, FormatCodes) {
  struct Case {
    int y, m, d;
    const char* pattern;
    const char* want;
  } const cases[] = {
      {2026, 12, 4, "%W %l", "Friday F"},
      {2026, 12, 3, "%W %l", "Thursday U"},
      {2026, 12, 5, "%W %w %l", "Saturday Sat A"},
      {2026, 12, 6, "%l", "S"},
      {2026, 12, 8, "%l", "T"},
      {2026, 12, 4, "%Y-%M-%D", "2026-12-04"},
      {2026, 12, 4, "%y", "26"},
      {5, 3, 7, "%y|%Y|%M|%D", "|05|03|07"},
      {999, 1, 1, "%y|%Y", "9|999"},
      {2026, 9, 4, "%N %m", "September Sep"},
      {2026, 12, 4, "100%", "100"},
      {2026, 12, 4, "%%Y", "Y"},
      {2026, 12, 4, "a%Qb%", "ab"},
      {2026, 12, 4, "%", ""},
      {2026, 12, 4, "%H%h%U%S%R", ""},
      {2026, 12, 4, "%y%Y%y", "26202626"},
      {2026, 12, 4, "", ""},
      {2026, 12, 4, "no codes", "no codes"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CMyDate(c.y, c.m, c.d).Format(c.pattern), c.want) << c.pattern;
  }
  for (int m = 1; m <= 12; ++m) {
    static const char* const kShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    EXPECT_EQ(CMyDate(2026, m, 1).Format("%m"), kShort[m - 1]);
  }
}

TEST(MyDate, FormatHandlesLongPatterns) {
  // A pattern far beyond any fixed buffer: 20,000 codes and filler.
  std::string strPattern;
  std::string strWant;
  for (int k = 0; k < 20000; ++k) {
    strPattern += "%W/";
    strWant += "Friday/";
  }
  strPattern += std::string(100000, 'x');
  strWant += std::string(100000, 'x');
  EXPECT_EQ(CMyDate(2026, 12, 4).Format(strPattern), strWant);
}

TEST(MyDate, FormatWithSeparator) {
  CMyDate d(2026, 12, 4);
  EXPECT_EQ(d.Format("%Y%M%D", '/'), "2026/12/04");
  EXPECT_EQ(d.Format("%D%M%Y", '.'), "04.12.2026");
  EXPECT_EQ(d.Format("%Q%Y", '-'), "%Q-2026-");
  EXPECT_EQ(d.Format("x%", '-'), "x%");
  EXPECT_EQ(d.Format("plain", '-'), "plain");
}

TEST(MyDate, ParseRecordsSeparatorsAndFillsMissingFields) {
  CMyDate d("2026-12/04");
  ExpectDate(d, 2026, 12, 4);
  EXPECT_EQ(d.DateSeparator(), '/');
  ExpectDate(CMyDate("2026"), 2026, 1, 1);
  ExpectDate(CMyDate("2026-7"), 2026, 7, 1);
  ExpectDate(CMyDate("  2026 7 9"), 2026, 7, 9);
  ExpectDate(CMyDate("+2026-+7--1"), 2026, 6, 29);  // day -1 rolls back
  // No leading number: the default date, whatever the object held before.
  CMyDate e(2020, 5, 5);
  e = "";
  ExpectDate(e, 1900, 1, 1);
  e = "garbage";
  ExpectDate(e, 1900, 1, 1);
  e = static_cast<const char*>(nullptr);
  ExpectDate(e, 1900, 1, 1);
  e = "-";
  ExpectDate(e, 1900, 1, 1);
}

TEST(MyDate, HugeNumbersInTextAreClampedNotOverflowed) {
  CMyDate d("99999999999999999999-99999999999-999999999999");
  EXPECT_EQ(d.Julian(), 2147483647);
  CMyDate e("-99999999999999999999-1-1");
  EXPECT_EQ(e.Julian(), 0);
  EXPECT_GE(d.Format("%Y").size(), 7u);
}

TEST(MyDate, LeapYearsAndMonthLengths) {
  EXPECT_TRUE(CMyDate(1500, 6, 1).IsLeapYear());
  EXPECT_FALSE(CMyDate(1700, 6, 1).IsLeapYear());
  EXPECT_TRUE(CMyDate(2000, 6, 1).IsLeapYear());
  EXPECT_FALSE(CMyDate(2100, 6, 1).IsLeapYear());
  EXPECT_TRUE(CMyDate(-4, 6, 1).IsLeapYear());
  EXPECT_FALSE(CMyDate(-1, 6, 1).IsLeapYear());
  EXPECT_EQ(CMyDate(2024, 2, 1).LastDay(), 29);
  EXPECT_EQ(CMyDate(2023, 2, 1).LastDay(), 28);
  // Every month's length matches the calendar's.
  for (int y : {1900, 2000, 2023, 2024}) {
    for (int m = 1; m <= 12; ++m) {
      const int64_t nWant = civil_ref::Julian(y, m + 1, 1) - civil_ref::Julian(y, m, 1);
      EXPECT_EQ(CMyDate(y, m, 1).LastDay(), nWant) << y << "-" << m;
    }
  }
}

TEST(MyDate, AddMonthAndYear) {
  CMyDate d(2023, 1, 31);
  d.AddMonth(1);
  ExpectDate(d, 2023, 3, 3);
  d = CMyDate(2024, 1, 31);
  d.AddMonth(1);
  ExpectDate(d, 2024, 3, 2);
  d = CMyDate(2024, 1, 15);
  d.AddMonth(-1);
  ExpectDate(d, 2023, 12, 15);
  d = CMyDate(2024, 1, 15);
  d.AddMonth(25);
  ExpectDate(d, 2026, 2, 15);
  d = CMyDate(2024, 1, 15);
  d.AddMonth(-25);
  ExpectDate(d, 2021, 12, 15);
  d = CMyDate(2024, 2, 29);
  d.AddYear(1);
  ExpectDate(d, 2025, 3, 1);
  d = CMyDate(2024, 2, 29);
  d.AddYear(-4);
  ExpectDate(d, 2020, 2, 29);

  const CMyDate base(2024, 1, 15);
  ExpectDate(base * 2, 2024, 3, 15);
  ExpectDate(base ^ 3, 2027, 1, 15);
  ExpectDate(base, 2024, 1, 15);
  CMyDate e(base);
  e *= 12;
  ExpectDate(e, 2025, 1, 15);
  e ^= -25;
  ExpectDate(e, 2000, 1, 15);
}

TEST(MyDate, DayArithmeticAndComparisons) {
  CMyDate d(2024, 2, 28);
  CMyDate pre = ++d;
  ExpectDate(pre, 2024, 2, 29);
  ExpectDate(d, 2024, 2, 29);
  CMyDate post = d++;
  ExpectDate(post, 2024, 2, 29);
  ExpectDate(d, 2024, 3, 1);
  post = d--;
  ExpectDate(post, 2024, 3, 1);
  ExpectDate(d, 2024, 2, 29);
  pre = --d;
  ExpectDate(pre, 2024, 2, 28);
  ExpectDate(d, 2024, 2, 28);

  d += 366;
  ExpectDate(d, 2025, 2, 28);
  d -= 365;
  ExpectDate(d, 2024, 2, 29);
  ExpectDate(d + 1, 2024, 3, 1);
  ExpectDate(d - 60, 2023, 12, 31);
  EXPECT_EQ(CMyDate(2025, 1, 1) - CMyDate(2024, 1, 1), 366);
  EXPECT_EQ(CMyDate(2024, 1, 1) - CMyDate(2025, 1, 1), -366);

  const CMyDate a(2024, 5, 1), b(2024, 5, 2), a2(2024, 5, 1);
  EXPECT_TRUE(a == a2 && !(a != a2) && a <= a2 && a >= a2 && !(a < a2) && !(a > a2));
  EXPECT_TRUE(a != b && a < b && b > a && a <= b && !(a >= b) && !(b <= a) && !(a == b));
}

TEST(MyDate, DayArithmeticStopsAtTheEndsOfTheRange) {
  CMyDate d(0);
  --d;
  EXPECT_EQ(d.Julian(), 0);
  d -= 2147483647;
  EXPECT_EQ(d.Julian(), 0);
  d += 2147483647;
  EXPECT_EQ(d.Julian(), 2147483647);
  ++d;
  EXPECT_EQ(d.Julian(), 2147483647);
  d.AddMonth(2147483647);
  EXPECT_EQ(d.Julian(), 2147483647);
  d.AddYear(-2147483647 - 1);
  EXPECT_EQ(d.Julian(), 0);
}

TEST(MyDate, StreamsWriteAndReadBack) {
  std::ostringstream os;
  os << CMyDate(2026, 12, 4) << ' ' << CMyDate(5, 1, 2);
  EXPECT_EQ(os.str(), "2026-12-04 05-01-02");
  std::istringstream is(os.str());
  CMyDate a, b, c(2020, 1, 1);
  is >> a >> b;
  ExpectDate(a, 2026, 12, 4);
  ExpectDate(b, 5, 1, 2);
  EXPECT_FALSE(is >> c);
  ExpectDate(c, 2020, 1, 1);  // a failed read leaves the value
}
