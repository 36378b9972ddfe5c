#include "base/system/Clock.h"

#include <ctime>

namespace {

// Splits one CLOCK_REALTIME reading. gmtime_r/localtime_r fill the caller's
// struct tm, so concurrent callers share nothing.
void ReadRealtime(CClockTime& out, bool bUtc) {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tmParts{};
  time_t tSeconds = ts.tv_sec;
  std::tm* pOk = bUtc ? ::gmtime_r(&tSeconds, &tmParts) : ::localtime_r(&tSeconds, &tmParts);
  if (pOk == nullptr) {
    out = CClockTime{};
    return;
  }
  out.nYear = tmParts.tm_year + 1900;
  out.nMonth = tmParts.tm_mon + 1;
  out.nDay = tmParts.tm_mday;
  out.nHour = tmParts.tm_hour;
  out.nMinute = tmParts.tm_min;
  out.nSecond = tmParts.tm_sec > 59 ? 59 : tmParts.tm_sec;
  out.nMilliSecond = static_cast<int>(ts.tv_nsec / 1000000);
  out.nDayOfWeek = tmParts.tm_wday;
}

}  // namespace

void GetUtcClock(CClockTime& out) { ReadRealtime(out, true); }

void GetLocalClock(CClockTime& out) { ReadRealtime(out, false); }

uint64_t GetTickCountMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}
