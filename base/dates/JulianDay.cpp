#include "base/dates/JulianDay.h"

namespace {

// Years far outside the supported range give a day number outside it anyway;
// bounding them first keeps every product below in 64 bits.
constexpr int64_t kYearBound = 100000000;

}  // namespace

int ClampJulianDay(int64_t nJulian) {
  if (nJulian < kMinJulianDay) return kMinJulianDay;
  if (nJulian > kMaxJulianDay) return kMaxJulianDay;
  return static_cast<int>(nJulian);
}

int JulianFromCivil(int64_t nDay, int64_t nMonth, int64_t nYear) {
  // The month goes into 1..12 first, carrying whole years. The formula itself
  // only rolls months up to 14 correctly; a later month would land days off.
  nYear += FloorDiv(nMonth - 1, 12);
  nMonth = FloorMod(nMonth - 1, 12) + 1;
  if (nYear > kYearBound) return kMaxJulianDay;
  if (nYear < -kYearBound) return kMinJulianDay;

  // Fliegel and Van Flandern. a is -1 for January and February, else 0 (the
  // truncating division is part of the formula); the other divisions are floor
  // divisions, which equal the formula's truncating ones for every year from
  // 4800 BC on and keep it exact before that.
  const int64_t a = (nMonth - 14) / 12;
  const int64_t nJulian = FloorDiv(1461 * (nYear + 4800 + a), 4) +
                          FloorDiv(367 * (nMonth - 2 - 12 * a), 12) -
                          FloorDiv(3 * FloorDiv(nYear + 4900 + a, 100), 4) + nDay - 32075;
  return ClampJulianDay(nJulian);
}

CCivilDate CivilFromJulian(int nJulianIn) {
  // All terms are non-negative over the supported range, so truncating
  // division is exact here; 64 bits because 4 x l passes the int range.
  const int64_t nJulian = ClampJulianDay(nJulianIn);
  int64_t l = nJulian + 68569;
  const int64_t n = (4 * l) / 146097;
  l = l - (146097 * n + 3) / 4;
  const int64_t i = (4000 * (l + 1)) / 1461001;
  l = l - (1461 * i) / 4 + 31;
  const int64_t j = (80 * l) / 2447;
  CCivilDate out{};
  out.nDay = static_cast<int>(l - (2447 * j) / 80);
  l = j / 11;
  out.nMonth = static_cast<int>(j + 2 - 12 * l);
  out.nYear = static_cast<int>(100 * (n - 49) + i + l);
  out.nDayOfWeek = static_cast<int>((nJulian + 1) % 7);
  return out;
}
