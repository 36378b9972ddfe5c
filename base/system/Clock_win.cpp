#include "base/system/Clock.h"

#include <windows.h>

namespace {

void FromSystemTime(const SYSTEMTIME& st, CClockTime& out) {
  out.nYear = st.wYear;
  out.nMonth = st.wMonth;
  out.nDay = st.wDay;
  out.nHour = st.wHour;
  out.nMinute = st.wMinute;
  out.nSecond = st.wSecond > 59 ? 59 : st.wSecond;
  out.nMilliSecond = st.wMilliseconds;
  out.nDayOfWeek = st.wDayOfWeek;
}

}  // namespace

void GetUtcClock(CClockTime& out) {
  SYSTEMTIME st{};
  ::GetSystemTime(&st);
  FromSystemTime(st, out);
}

void GetLocalClock(CClockTime& out) {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  FromSystemTime(st, out);
}

uint64_t GetTickCountMs() { return static_cast<uint64_t>(::GetTickCount64()); }
