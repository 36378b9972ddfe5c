// Intervals between two date-times, a - b.

#include <climits>
#include <cstdio>

#include "base/dates/MyDatetime.h"

namespace {

constexpr int64_t kMsPerDay = 86400000;

int ClampToInt(int64_t n) {
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

int64_t MilliSecondsOfDay(const CMyDatetime& t) {
  return ((static_cast<int64_t>(t.Hour()) * 60 + t.Minute()) * 60 + t.Second()) * 1000 +
         t.MilliSecond();
}

}  // namespace

int64_t IntervalMilliSec(const CMyDatetime& a, const CMyDatetime& b) {
  return (static_cast<int64_t>(a.Julian()) - b.Julian()) * kMsPerDay + MilliSecondsOfDay(a) -
         MilliSecondsOfDay(b);
}

int IntervalSec(const CMyDatetime& a, const CMyDatetime& b, bool bNearest) {
  if (a < b) return -IntervalSec(b, a, bNearest);
  int64_t nSeconds;
  if (bNearest) {
    nSeconds = (IntervalMilliSec(a, b) + 500) / 1000;
  } else {
    // Whole seconds of each value, milliseconds dropped.
    nSeconds = (static_cast<int64_t>(a.Julian()) - b.Julian()) * 86400 +
               MilliSecondsOfDay(a) / 1000 - MilliSecondsOfDay(b) / 1000;
  }
  return ClampToInt(nSeconds);
}

int IntervalMin(const CMyDatetime& a, const CMyDatetime& b) {
  return ClampToInt(IntervalMilliSec(a, b) / 1000 / 60);
}

int IntervalHour(const CMyDatetime& a, const CMyDatetime& b) {
  return ClampToInt(IntervalMilliSec(a, b) / 1000 / 60 / 60);
}

int IntervalAll(const CMyDatetime& a, const CMyDatetime& b, int& nDays, int& nHours,
                int& nMinutes, int& nSeconds, int& nMilliSeconds) {
  if (a < b) {
    IntervalAll(b, a, nDays, nHours, nMinutes, nSeconds, nMilliSeconds);
    return -1;
  }
  int64_t nRest = IntervalMilliSec(a, b);
  nMilliSeconds = static_cast<int>(nRest % 1000);
  nRest /= 1000;
  nSeconds = static_cast<int>(nRest % 60);
  nRest /= 60;
  nMinutes = static_cast<int>(nRest % 60);
  nRest /= 60;
  nHours = static_cast<int>(nRest % 24);
  nDays = ClampToInt(nRest / 24);
  return 1;
}

std::string IntervalStr(const CMyDatetime& a, const CMyDatetime& b) {
  int nDays = 0, nHours = 0, nMinutes = 0, nSeconds = 0, nMilliSeconds = 0;
  const int nSign = IntervalAll(a, b, nDays, nHours, nMinutes, nSeconds, nMilliSeconds);
  char szBuf[64];
  std::snprintf(szBuf, sizeof(szBuf), nSign < 0 ? "- %d %02d:%02d:%02d:%03d" : "%d %02d:%02d:%02d:%03d",
                nDays, nHours, nMinutes, nSeconds, nMilliSeconds);
  return szBuf;
}
