#pragma once

// CMyTime2Int: a date-time packed into two integers, the Julian day number and
// the time of day with the hour in bits 26..31, the minute in bits 20..25, the
// second in bits 14..19 and the millisecond in bits 0..13. Ordering compares
// the day as a signed and the packed time as an unsigned number, which orders
// packed values like the date-times they hold.

struct CMyTime2Int {
  int nJulian;
  unsigned int uTime;

  CMyTime2Int() : nJulian(0), uTime(0) {}
  CMyTime2Int(int julian, unsigned int time) : nJulian(julian), uTime(time) {}
  CMyTime2Int(const CMyTime2Int&) = default;
  CMyTime2Int& operator=(const CMyTime2Int&) = default;

  bool operator==(const CMyTime2Int& o) const { return nJulian == o.nJulian && uTime == o.uTime; }
  bool operator!=(const CMyTime2Int& o) const { return !(*this == o); }
  bool operator<(const CMyTime2Int& o) const {
    return nJulian != o.nJulian ? nJulian < o.nJulian : uTime < o.uTime;
  }
  bool operator>(const CMyTime2Int& o) const { return o < *this; }
  bool operator<=(const CMyTime2Int& o) const { return !(o < *this); }
  bool operator>=(const CMyTime2Int& o) const { return !(*this < o); }
};
