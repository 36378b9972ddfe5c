#include "base/dates/MyDate.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/base/dates/CivilReference.h"

namespace {

void ExpectDate(const CMyDate& d, int y, int m, int day) {
  EXPECT_TRUE(d.Year() == y && d.Month() == m && d.Day() == day)
      << d.Year() << "-" << d.Month() << "-" << d.Day() << " want " << y << "-" << m << "-" << day;
  EXPECT_EQ(d.Julian(), civil_ref::Julian(y, m, day));
  EXPECT_EQ(d.DayOfWeek(), civil_ref::Weekday(d.Julian()));
}

}  // namespace

TEST(MyDate, ConstructorsAndParsing) {
  ExpectDate(CMyDate(), 1900, 1, 1);
  ExpectDate(CMyDate(false, true), 1900, 1, 1);
  ExpectDate(CMyDate(2461379), 2026, 12, 4);
  ExpectDate(CMyDate(2024, 2, 30), 2024, 3, 1);
  ExpectDate(CMyDate(std::string("2026/12/4")), 2026, 12, 4);
  struct Case {
    const char* szText;
    int y, m, d;
  } const cases[] = {
      {"1999.12.31", 1999, 12, 31}, {"2026", 2026, 1, 1},         {"2026-7", 2026, 7, 1},
      {"  2026 7 9", 2026, 7, 9},   {"+2026-+7--1", 2026, 6, 29}, {"2024-14-31", 2025, 3, 3},
      // No leading number: the default date, whatever the object held before.
      {"", 1900, 1, 1},             {"garbage", 1900, 1, 1},      {"-", 1900, 1, 1},
  };
  for (const Case& c : cases) {
    CMyDate d(2020, 5, 5);
    d = c.szText;
    SCOPED_TRACE(c.szText);
    ExpectDate(d, c.y, c.m, c.d);
  }
  CMyDate e(2020, 5, 5);
  e = static_cast<const char*>(nullptr);
  ExpectDate(e, 1900, 1, 1);
  CMyDate f("2026-12/04");
  EXPECT_EQ(f.DateSeparator(), '/');
}

TEST(MyDate, FormatCodes) {
  struct Case {
    int y, m, d;
    const char* pattern;
    const char* want;
  } const cases[] = {
      {1900, 1, 1, "%W %w %l", "Monday Mon M"},
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
      {2026, 12, 4, "%H%h%U%S%R", ""},
      {2026, 12, 4, "%y%Y%y", "26202626"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CMyDate(c.y, c.m, c.d).Format(c.pattern), c.want) << c.pattern;
  }
  static const char* const kShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int m = 1; m <= 12; ++m) EXPECT_EQ(CMyDate(2026, m, 1).Format("%m"), kShort[m - 1]);

  CMyDate d(2026, 12, 4);
  EXPECT_EQ(d.Format("%Y%M%D", '/'), "2026/12/04");
  EXPECT_EQ(d.Format("%Q%Y", '-'), "%Q-2026-");
  EXPECT_EQ(d.Format("x%", '-'), "x%");

  // A pattern far beyond any fixed buffer: 20,000 codes and filler.
  std::string strPattern, strWant;
  for (int k = 0; k < 20000; ++k) {
    strPattern += "%W/";
    strWant += "Friday/";
  }
  strPattern += std::string(100000, 'x');
  strWant += std::string(100000, 'x');
  EXPECT_EQ(d.Format(strPattern), strWant);
}

TEST(MyDate, HugeNumbersInTextAreClampedNotOverflowed) {
  CMyDate d("99999999999999999999-99999999999-999999999999");
  EXPECT_EQ(d.Julian(), 2147483647);
  EXPECT_GE(d.Format("%Y").size(), 7u);
  EXPECT_EQ(CMyDate("-99999999999999999999-1-1").Julian(), 0);
}

TEST(MyDate, LeapYearsAndMonthLengths) {
  for (int y : {1500, 2000, -4}) EXPECT_TRUE(CMyDate(y, 6, 1).IsLeapYear()) << y;
  for (int y : {1700, 2100, -1}) EXPECT_FALSE(CMyDate(y, 6, 1).IsLeapYear()) << y;
  for (int y : {1900, 2000, 2023, 2024}) {
    for (int m = 1; m <= 12; ++m) {
      const int64_t nWant = civil_ref::Julian(y, m + 1, 1) - civil_ref::Julian(y, m, 1);
      EXPECT_EQ(CMyDate(y, m, 1).LastDay(), nWant) << y << "-" << m;
    }
  }
}

TEST(MyDate, AddMonthAndYear) {
  struct Case {
    CMyDate from;
    int nMonths, nYears;
    int y, m, d;
  } const cases[] = {
      {{2023, 1, 31}, 1, 0, 2023, 3, 3},    {{2024, 1, 31}, 1, 0, 2024, 3, 2},
      {{2024, 1, 15}, -1, 0, 2023, 12, 15}, {{2024, 1, 15}, 25, 0, 2026, 2, 15},
      {{2024, 1, 15}, -25, 0, 2021, 12, 15}, {{2024, 2, 29}, 0, 1, 2025, 3, 1},
      {{2024, 2, 29}, 0, -4, 2020, 2, 29},
  };
  for (const Case& c : cases) {
    CMyDate d(c.from);
    if (c.nMonths != 0) d.AddMonth(c.nMonths);
    if (c.nYears != 0) d.AddYear(c.nYears);
    ExpectDate(d, c.y, c.m, c.d);
  }
  const CMyDate base(2024, 1, 15);
  ExpectDate(base * 2, 2024, 3, 15);
  ExpectDate(base ^ 3, 2027, 1, 15);
  ExpectDate(base, 2024, 1, 15);
  CMyDate e(base);
  e *= 12;
  e ^= -25;
  ExpectDate(e, 2000, 1, 15);
}

TEST(MyDate, DayArithmeticComparisonsAndTheEndsOfTheRange) {
  CMyDate d(2024, 2, 28);
  ExpectDate(++d, 2024, 2, 29);
  ExpectDate(d++, 2024, 2, 29);
  ExpectDate(d, 2024, 3, 1);
  ExpectDate(d--, 2024, 3, 1);
  ExpectDate(--d, 2024, 2, 28);
  d += 366;
  ExpectDate(d, 2025, 2, 28);
  d -= 365;
  ExpectDate(d + 1, 2024, 3, 1);
  ExpectDate(d - 60, 2023, 12, 31);
  EXPECT_EQ(CMyDate(2025, 1, 1) - CMyDate(2024, 1, 1), 366);
  EXPECT_EQ(CMyDate(2024, 1, 1) - CMyDate(2025, 1, 1), -366);

  const CMyDate a(2024, 5, 1), b(2024, 5, 2), a2(2024, 5, 1);
  EXPECT_TRUE(a == a2 && !(a != a2) && a <= a2 && a >= a2 && !(a < a2) && !(a > a2));
  EXPECT_TRUE(a != b && a < b && b > a && a <= b && !(a >= b) && !(b <= a) && !(a == b));

  // Arithmetic stops at the ends of the range.
  d = CMyDate(0);
  --d;
  EXPECT_EQ(d.Julian(), 0);
  d -= 2147483647;
  EXPECT_EQ(d.Julian(), 0);
  d += 2147483647;
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
