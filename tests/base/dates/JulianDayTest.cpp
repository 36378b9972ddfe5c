#include "base/dates/JulianDay.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "tests/base/dates/CivilReference.h"

namespace {

// The split must be a real calendar day (month in range, day within its month)
// that the reference numbers nJulian: the reference is one-to-one on those.
void ExpectMatchesReference(int64_t nJulian) {
  const CCivilDate c = CivilFromJulian(static_cast<int>(nJulian));
  const int64_t nNextMonth = c.nMonth == 12 ? civil_ref::Julian(c.nYear + 1, 1, 1)
                                            : civil_ref::Julian(c.nYear, c.nMonth + 1, 1);
  ASSERT_TRUE(c.nMonth >= 1 && c.nMonth <= 12 && c.nDay >= 1 && nJulian < nNextMonth) << nJulian;
  ASSERT_EQ(civil_ref::Julian(c.nYear, c.nMonth, c.nDay), nJulian);
  ASSERT_EQ(c.nDayOfWeek, civil_ref::Weekday(nJulian)) << nJulian;
  ASSERT_EQ(JulianFromCivil(c.nDay, c.nMonth, c.nYear), nJulian);
}

}  // namespace

// Every day of twelve centuries (all leap-year cases) and random days over the whole range split
// into the reference's calendar day and back; any (day, month, year) triple rolls into range.
TEST(JulianDay, DaysSplitAndJoinLikeTheReferenceAndTheEndsClamp) {
  for (int64_t j = civil_ref::Julian(1500, 1, 1); j <= civil_ref::Julian(2700, 1, 1); ++j) {
    ExpectMatchesReference(j);
    if (testing::Test::HasFatalFailure()) return;
  }
  std::mt19937 rng(7);
  std::uniform_int_distribution<int64_t> dist(kMinJulianDay, kMaxJulianDay);
  std::uniform_int_distribution<int> years(-4000, 100000), months(-100, 100), days(-1000, 1000);
  for (int k = 0; k < 100000; ++k) {
    ExpectMatchesReference(dist(rng));
    if (testing::Test::HasFatalFailure()) return;
    // The day is an offset from the first of the month.
    const int y = years(rng), m = months(rng), d = days(rng);
    const int64_t nYearCarry = (m + 1199) / 12 - 100;  // floor((m - 1) / 12) for m > -1199
    const int64_t want = civil_ref::Julian(y + nYearCarry, m - 12 * nYearCarry, 1) + d - 1;
    ASSERT_EQ(JulianFromCivil(d, m, y), want) << y << "/" << m << "/" << d;
  }
  ExpectMatchesReference(kMaxJulianDay);
  // Known days pin the reference calendar itself.
  EXPECT_EQ(JulianFromCivil(1, 1, 2000), 2451545);
  EXPECT_EQ(JulianFromCivil(24, 11, -4713), 0);
  EXPECT_EQ(CivilFromJulian(2415021).nDayOfWeek, 1);  // 1 January 1900, a Monday
  EXPECT_EQ(JulianFromCivil(INT_MIN, INT_MIN, INT_MIN), kMinJulianDay);
  EXPECT_EQ(JulianFromCivil(INT_MAX, INT_MAX, INT_MAX), kMaxJulianDay);
  const CCivilDate c = CivilFromJulian(-5);
  EXPECT_TRUE(c.nYear == -4713 && c.nMonth == 11 && c.nDay == 24);
}
