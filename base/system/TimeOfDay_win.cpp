#include "base/system/TimeOfDay.h"

#include <windows.h>

// Seconds between 1601-01-01 (the FILETIME epoch) and 1970-01-01, in 100 ns.
static const unsigned long long s_nUnixEpochIn100ns = 116444736000000000ULL;

// Reads the system clock in UTC rather than converting the local calendar time
// with mktime: local time is ambiguous in the hour a daylight-saving change
// repeats, UTC is not. The result is the same at every other time.
extern "C" int gettimeofday(struct timeval* tv, void* /*ignored*/) {
  if (tv == nullptr) return 0;
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  unsigned long long n100ns =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  if (n100ns < s_nUnixEpochIn100ns) n100ns = s_nUnixEpochIn100ns;
  n100ns -= s_nUnixEpochIn100ns;
  unsigned long long nMillis = n100ns / 10000ULL;
  tv->tv_sec = static_cast<long>(nMillis / 1000ULL);
  tv->tv_usec = static_cast<long>((nMillis % 1000ULL) * 1000ULL);
  return 0;
}
