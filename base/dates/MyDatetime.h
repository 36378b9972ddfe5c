#pragma once

// CMyDatetime: a CMyDate with a time of day to the millisecond. There is no
// zone: a value is UTC or local according to how it was made.
//
// Typical uses:
//   CMyDatetime(true, false).Format("%Y-%M-%D %H:%U:%S.%R")   local log stamp
//   CMyDatetime(true, true).Format("%w, %D %m %Y %H:%U:%S GMT") HTTP Date
// Reading the clock and formatting are thread-safe: the clock is read into the
// object and Format returns the caller's own string (no shared buffer).

#include <cstdint>
#include <iosfwd>
#include <string>

#include "base/dates/MyDate.h"
#include "base/dates/MyTime2Int.h"
#include "base/dates/MyTimeStamp.h"

class CMyDatetime : public CMyDate {
 public:
  // 1 January 1900, 00:00:00.000.
  CMyDatetime();
  // bFromClock false: 1 January 1900 00:00:00.000. Otherwise the date and
  // time with milliseconds from one clock reading, UTC when bUtc is true,
  // local time when it is false.
  CMyDatetime(bool bFromClock, bool bUtc);
  // Every field may be out of range; the value is normalised (25 o'clock is
  // 01:00 of the next day, second -1 the last second of the day before).
  CMyDatetime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
              int nMilliSecond);
  // Normalises the stamp in place (time fields into range, carries into the
  // day) and takes its value.
  CMyDatetime(CMyTimeStamp& stamp);  // NOLINT(google-explicit-constructor)
  CMyDatetime& operator=(CMyTimeStamp& stamp);
  // Year, month, day, one dropped character, hour, minute, second,
  // millisecond, each number followed by one separator character:
  // "2026-12-04 14:55:16:123", "2026-12-04 14:55:16.123". Missing time fields
  // are 0; the date part follows CMyDate's rules. TimeSeparator() gives the
  // last separator read between the time fields.
  CMyDatetime(const char* szText);         // NOLINT(google-explicit-constructor)
  CMyDatetime(const std::string& strText);  // NOLINT(google-explicit-constructor)
  CMyDatetime& operator=(const char* szText);
  CMyDatetime& operator=(const std::string& strText);
  // Copies the value; the separators read by a parse are not copied.
  CMyDatetime(const CMyDatetime& other);
  CMyDatetime& operator=(const CMyDatetime& other);
  ~CMyDatetime() override;

  // Sets date and time from the clock, UTC when bUtc is true, else local.
  void Now(bool bUtc);

  int Hour() const { return m_nHour; }
  int Minute() const { return m_nMinute; }
  int Second() const { return m_nSecond; }
  int MilliSecond() const { return m_nMilliSecond; }
  // '\0' until a parse from text reads a time separator.
  char TimeSeparator() const { return m_cTimeSep; }

  void GetTimeStamp(CMyTimeStamp& out) const;

  using CMyDate::Format;
  // The date codes of CMyDate::Format and the time codes %H or %h (hour
  // 00..23), %U or %u (minute), %S or %s (second), %R or %r (millisecond,
  // three digits).
  std::string Format(std::string strPattern) const override;

  // Add or subtract units, carrying into the larger units and the date. A
  // negative count works the other way.
  void AddHour(int n);
  void AddMinute(int n);
  void AddSecond(int n);
  void AddMilliSec(int n);
  void DevHour(int n);
  void DevMinute(int n);
  void DevSecond(int n);
  void DevMilliSec(int n);

  CMyDatetime operator*(int nMonths) const;  // a copy, months added, time kept
  CMyDatetime operator^(int nYears) const;   // a copy, years added, time kept
  CMyDatetime operator++();                  // one day on, new value
  CMyDatetime operator--();                  // one day back, new value
  CMyDatetime operator++(int);               // one day on, old value
  CMyDatetime operator--(int);               // one day back, old value

  // The date-only comparisons stay available for a CMyDate argument.
  using CMyDate::operator==;
  using CMyDate::operator!=;
  using CMyDate::operator>=;
  using CMyDate::operator<=;
  using CMyDate::operator<;
  using CMyDate::operator>;
  // Date and time compared (day, hour, minute, second, millisecond). >= and <=
  // are the negations of < and > through their virtual slots.
  virtual bool operator==(const CMyDatetime& other) const;
  virtual bool operator!=(const CMyDatetime& other) const;
  virtual bool operator>=(const CMyDatetime& other) const;
  virtual bool operator<=(const CMyDatetime& other) const;
  virtual bool operator<(const CMyDatetime& other) const;
  virtual bool operator>(const CMyDatetime& other) const;

  CMyTime2Int Get2Int() const;
  // Sets the value from a packed form. Fields beyond their range (the bit
  // fields allow hour 63, minute and second 63, millisecond 16383) carry into
  // the larger units and the date, so the value is always well formed.
  void SetBy2Int(CMyTime2Int packed);

 protected:
  // Sets the date from (day, month, year) and stores the four time fields as
  // given, without normalising them.
  void _TSet(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
             int nMilliSecond);
  // Normalises the stamp in place and takes its value.
  void _AssignStamp(CMyTimeStamp& stamp);
  // Moves the value by a signed number of milliseconds.
  void _ShiftMilliSeconds(int64_t nDelta);
  // Milliseconds since the start of the value's day.
  int64_t _MilliSecondsOfDay() const;

  int m_nHour;
  int m_nMinute;
  int m_nSecond;
  int m_nMilliSecond;
  char m_cTimeSep;
};

CMyDatetime operator+(const CMyDatetime& dt, int nDays);
CMyDatetime operator-(const CMyDatetime& dt, int nDays);

// Intervals a - b. IntervalMilliSec is exact. IntervalSec counts whole seconds
// ignoring milliseconds, or, with bNearest, rounds the exact interval to the
// nearest second (half a second away from zero). IntervalMin and IntervalHour
// truncate toward zero. Results beyond the int range are clamped to it.
int64_t IntervalMilliSec(const CMyDatetime& a, const CMyDatetime& b);
int IntervalSec(const CMyDatetime& a, const CMyDatetime& b, bool bNearest);
int IntervalMin(const CMyDatetime& a, const CMyDatetime& b);
int IntervalHour(const CMyDatetime& a, const CMyDatetime& b);
// Splits the size of a - b into days, hours, minutes, seconds and
// milliseconds; returns 1 when a >= b and -1 when a < b.
int IntervalAll(const CMyDatetime& a, const CMyDatetime& b, int& nDays, int& nHours,
                int& nMinutes, int& nSeconds, int& nMilliSeconds);
// "2 01:02:03:004" for a >= b, "- 2 01:02:03:004" for a < b.
std::string IntervalStr(const CMyDatetime& a, const CMyDatetime& b);

// Writes Format("%Y-%M-%D %H:%U:%S:%R").
std::ostream& operator<<(std::ostream& os, const CMyDatetime& dt);
// Reads one white-space delimited word and parses it as the text constructor:
// "2026-12-04" gives that day at 00:00:00.000; a word that joins date and time
// by one character ("2026-12-04T14:55:16:123") gives the full value.
std::istream& operator>>(std::istream& is, CMyDatetime& dt);
