#include "base/dates/MyDate.h"

#include <gtest/gtest.h>

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
  ExpectDate(CMyDate(2461379), 2026, 12, 4);
  struct Case {
    const char* szText;
    int y, m, d;
  } const cases[] = {
      {"1999.12.31", 1999, 12, 31}, {"2026", 2026, 1, 1}, {"+2026-+7--1", 2026, 6, 29},
      // No leading number: the default, whatever the object held before.
      {"garbage", 1900, 1, 1},      {nullptr, 1900, 1, 1},
  };
  for (const Case& c : cases) {
    CMyDate d(2020, 5, 5);
    d = c.szText;
    SCOPED_TRACE(c.szText);
    ExpectDate(d, c.y, c.m, c.d);
  }
  EXPECT_EQ(CMyDate("2026-12/04").DateSeparator(), '/');
  // Numbers beyond the int range are clamped, not overflowed.
  EXPECT_EQ(CMyDate("99999999999999999999-99999999999-999999999999").Julian(), 2147483647);
  EXPECT_EQ(CMyDate("-99999999999999999999-1-1").Julian(), 0);
}

TEST(MyDate, FormatCodes) {
  struct Case {
    int y, m, d;
    const char* pattern;
    const char* want;
  } const cases[] = {
      {2026, 12, 5, "%W %w %l", "Saturday Sat A"},
      {2026, 12, 4, "%Y-%M-%D %y", "2026-12-04 26"},
      {5, 3, 7, "%y|%Y|%M|%D", "|05|03|07"},
      {999, 1, 1, "%y|%Y", "9|999"},
      {2026, 9, 4, "%N %m", "September Sep"},
      {2026, 12, 4, "%%Y a%Qb 100%", "Y ab 100"},
      {2026, 12, 4, "%H%h%U%S%R", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CMyDate(c.y, c.m, c.d).Format(c.pattern), c.want) << c.pattern;
  }
  CMyDate d(2026, 12, 4);
  EXPECT_EQ(d.Format("%Y%M%D", '/'), "2026/12/04");
  EXPECT_EQ(d.Format("%Q%Y", '-'), "%Q-2026-");

  // A pattern far beyond any fixed buffer.
  std::string strPattern, strWant;
  for (int k = 0; k < 20000; ++k) {
    strPattern += "%W/";
    strWant += "Friday/";
  }
  EXPECT_EQ(d.Format(strPattern + std::string(100000, 'x')), strWant + std::string(100000, 'x'));
}

TEST(MyDate, CalendarRulesAndArithmetic) {
  // Every fourth year is a leap year before 1582, the Gregorian rule holds from then on.
  EXPECT_TRUE(CMyDate(1500, 6, 1).IsLeapYear() && CMyDate(2000, 6, 1).IsLeapYear());
  EXPECT_FALSE(CMyDate(1700, 6, 1).IsLeapYear() || CMyDate(2100, 6, 1).IsLeapYear());
  EXPECT_TRUE(CMyDate(2023, 2, 1).LastDay() == 28 && CMyDate(2024, 2, 1).LastDay() == 29);
  EXPECT_TRUE(CMyDate(2024, 4, 1).LastDay() == 30 && CMyDate(2024, 12, 1).LastDay() == 31);

  ExpectDate(CMyDate(2023, 1, 31) * 1, 2023, 3, 3);  // the day rolls on in a shorter month
  ExpectDate(CMyDate(2023, 3, 3) * -25, 2021, 2, 3);
  ExpectDate(CMyDate(2024, 2, 29) ^ 1, 2025, 3, 1);

  CMyDate d(2024, 2, 28);
  ExpectDate(++d, 2024, 2, 29);
  ExpectDate(d - 60, 2023, 12, 31);
  EXPECT_EQ(CMyDate(2024, 1, 1) - CMyDate(2025, 1, 1), -366);
  const CMyDate a(2024, 5, 1), b(2024, 5, 2);
  EXPECT_TRUE(a != b && a < b && b > a && a <= b && !(a >= b) && !(a == b));

  // Arithmetic stops at the ends of the range.
  EXPECT_EQ((--CMyDate(0)).Julian(), 0);
  d += 2147483647;
  d.AddMonth(2147483647);
  EXPECT_EQ(d.Julian(), 2147483647);
  d.AddYear(-2147483647 - 1);
  EXPECT_EQ(d.Julian(), 0);
}
