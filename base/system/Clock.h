#pragma once

// Clock readings: the wall clock in UTC and in local time, split into
// calendar fields with milliseconds, and a monotonic millisecond tick count.
// Everything here is thread-safe: each call fills the caller's own struct and
// keeps no shared buffer.

#include <cstdint>

// One reading of the wall clock, already split into calendar fields.
struct CClockTime {
  int nYear = 1970;        // full year, e.g. 2026
  int nMonth = 1;          // 1..12
  int nDay = 1;            // 1..31
  int nHour = 0;           // 0..23
  int nMinute = 0;         // 0..59
  int nSecond = 0;         // 0..59 (a leap second reads as 59)
  int nMilliSecond = 0;    // 0..999
  int nDayOfWeek = 4;      // 0 = Sunday, 1 = Monday, ... 6 = Saturday
};

// The current time in UTC (Windows: GetSystemTime).
void GetUtcClock(CClockTime& out);

// The current time in the machine's local zone (Windows: GetLocalTime).
void GetLocalClock(CClockTime& out);

// Milliseconds since an unspecified fixed point (boot on both platforms).
// Never goes back and is not moved by changes of the wall clock; use it to
// measure elapsed time and time-outs.
uint64_t GetTickCountMs();
