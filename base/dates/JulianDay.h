#pragma once

// Conversions between calendar dates (Gregorian rules for every year) and
// Julian day numbers, shared by the date classes.
//
// Supported range: Julian day 0 (24 November 4714 BC, astronomical year -4713)
// up to the largest int. Results outside it are clamped to the nearest end,
// so every date value stays representable and every conversion is exact.

#include <cstdint>

constexpr int kMinJulianDay = 0;
constexpr int kMaxJulianDay = 2147483647;

// Clamps a 64-bit day number into the supported range.
int ClampJulianDay(int64_t nJulian);

// Julian day number of (day, month, year), by the Fliegel and Van Flandern
// formula. Any triple is accepted: days out of the month's range roll into the
// neighbouring months, months out of 1..12 into the neighbouring years (month 13
// of 2024 is January 2025, month 0 December 2023, month 15 March 2025). The
// result is clamped to the supported range.
int JulianFromCivil(int64_t nDay, int64_t nMonth, int64_t nYear);

// Split of a Julian day number in the supported range (clamped first).
struct CCivilDate {
  int nDay;
  int nMonth;
  int nYear;
  int nDayOfWeek;  // 0 = Sunday .. 6 = Saturday
};
CCivilDate CivilFromJulian(int nJulian);

// Floor division and the matching non-negative remainder (divisor > 0).
inline int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }
