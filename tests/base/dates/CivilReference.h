#pragma once

// An independent proleptic Gregorian calendar (H. Hinnant's days_from_civil, counted in
// Julian day numbers), used to check the Julian day conversions.

#include <cstdint>

namespace civil_ref {

constexpr int64_t kJulianOf19700101 = 2440588;

inline int64_t Julian(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kJulianOf19700101;
}

// 0 = Sunday; 1 January 1970 was a Thursday.
inline int Weekday(int64_t nJulian) {
  const int64_t nDays = nJulian - kJulianOf19700101;
  return static_cast<int>(((nDays % 7) + 7 + 4) % 7);
}

}  // namespace civil_ref
