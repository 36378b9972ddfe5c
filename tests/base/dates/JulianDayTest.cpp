#include "base/dates/JulianDay.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "tests/base/dates/CivilReference.h"

namespace {

void ExpectMatchesReference(int64_t nJulian) {
  int64_t y = 0, m = 0, d = 0;
  civil_ref::CivilFromDays(nJulian - civil_ref::kJulianOf19700101, y, m, d);
  const CCivilDate civil = CivilFromJulian(static_cast<int>(nJulian));
  ASSERT_TRUE(civil.nYear == y && civil.nMonth == m && civil.nDay == d) << "julian " << nJulian;
  ASSERT_EQ(civil.nDayOfWeek, civil_ref::Weekday(nJulian)) << "julian " << nJulian;
  ASSERT_EQ(JulianFromCivil(d, m, y), nJulian) << y << "-" << m << "-" << d;
}

}  // namespace

TEST(JulianDay, EveryDayOfTwelveCenturiesAndRandomDaysRoundTrip) {
  // 1500-01-01 .. 2700-01-01, every day: covers all leap-year cases.
  for (int64_t j = civil_ref::Julian(1500, 1, 1); j <= civil_ref::Julian(2700, 1, 1); ++j) {
    ExpectMatchesReference(j);
    if (testing::Test::HasFatalFailure()) return;
  }
  std::mt19937 rng(20261204);
  std::uniform_int_distribution<int64_t> dist(kMinJulianDay, kMaxJulianDay);
  for (int k = 0; k < 200000; ++k) {
    ExpectMatchesReference(dist(rng));
    if (testing::Test::HasFatalFailure()) return;
  }
  for (int64_t j : {int64_t{0}, int64_t{1}, int64_t{68569}, int64_t{kMaxJulianDay} - 1,
                    int64_t{kMaxJulianDay}}) {
    ExpectMatchesReference(j);
  }
}

TEST(JulianDay, OutOfRangeDaysAndMonthsRoll) {
  struct Case {
    int d, m, y;
    int wantY, wantM, wantD;
  } const cases[] = {
      {30, 2, 2024, 2024, 3, 1},   {0, 3, 2024, 2024, 2, 29},    {1, 0, 2024, 2023, 12, 1},
      {1, -12, 2024, 2022, 12, 1}, {-365, 1, 2024, 2022, 12, 31}, {1, 1000, 2000, 2083, 4, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JulianFromCivil(c.d, c.m, c.y), civil_ref::Julian(c.wantY, c.wantM, c.wantD))
        << c.y << "/" << c.m << "/" << c.d;
  }
  // Any in-range triple: the day is an offset from the first of the month.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> years(-4000, 100000), months(-100, 100), days(-1000, 1000);
  for (int k = 0; k < 100000; ++k) {
    const int y = years(rng), m = months(rng), d = days(rng);
    int64_t nYearCarry = (m - 1) / 12;
    if ((m - 1) % 12 < 0) --nYearCarry;
    const int64_t want = civil_ref::Julian(y + nYearCarry, m - 12 * nYearCarry, 1) + d - 1;
    ASSERT_EQ(JulianFromCivil(d, m, y), want) << y << "/" << m << "/" << d;
  }
}

TEST(JulianDay, KnownDaysAndClampsAtTheEndsOfTheRange) {
  EXPECT_EQ(JulianFromCivil(1, 1, 1900), 2415021);
  EXPECT_EQ(JulianFromCivil(1, 1, 2000), 2451545);
  EXPECT_EQ(JulianFromCivil(24, 11, -4713), 0);
  EXPECT_EQ(CivilFromJulian(2415021).nDayOfWeek, 1);  // Monday
  EXPECT_EQ(JulianFromCivil(1, 1, -5000), kMinJulianDay);
  EXPECT_EQ(JulianFromCivil(INT_MIN, INT_MIN, INT_MIN), kMinJulianDay);
  EXPECT_EQ(JulianFromCivil(INT_MAX, INT_MAX, INT_MAX), kMaxJulianDay);
  EXPECT_EQ(JulianFromCivil(1, 1, 7000000), kMaxJulianDay);
  EXPECT_EQ(ClampJulianDay(int64_t{1} << 40), kMaxJulianDay);
  const CCivilDate c = CivilFromJulian(-5);
  EXPECT_TRUE(c.nYear == -4713 && c.nMonth == 11 && c.nDay == 24);
}
