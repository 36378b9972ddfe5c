#pragma once

// CMyDate: a calendar date held as a Julian day number with its split fields
// (day, month, year, weekday), Gregorian rules for every year.
//
// The Julian day number is the value; the split fields always agree with it.
// Out-of-range days and months given to any constructor or setter roll over
// into the neighbouring months and years (30 February 2024 is 1 March 2024).
// Values are not synchronised: each thread uses its own objects; Format reads
// only constant tables and the object, and returns the caller's own string.

#include <iosfwd>
#include <string>

class CMyDate {
 public:
  // 1 January 1900 (Julian day 2415021, a Monday).
  CMyDate();
  // bFromClock false: 1 January 1900. Otherwise today's date from the clock,
  // UTC when bUtc is true, local time when it is false.
  CMyDate(bool bFromClock, bool bUtc);
  // Year, separator, month, separator, day: "2026-12-04", "2026/12/4". See
  // the text rules in operator=(const char*).
  CMyDate(const char* szText);         // NOLINT(google-explicit-constructor)
  CMyDate(const std::string& strText);  // NOLINT(google-explicit-constructor)
  explicit CMyDate(int nJulian);
  CMyDate(int nYear, int nMonth, int nDay);
  CMyDate(const CMyDate& other);
  virtual ~CMyDate();

  // Sets today's date from the clock, UTC or local.
  void Today(bool bUtc);

  CMyDate& operator=(int nJulian);
  // Reads year, a separator, month, a separator, day; any single character
  // serves as a separator and both are remembered (DateSeparator() gives the
  // second). Numbers beyond the int range are clamped. A text without a
  // leading number gives 1 January 1900; a missing month or day counts as 1.
  CMyDate& operator=(const char* szText);
  CMyDate& operator=(const std::string& strText);
  CMyDate& operator=(const CMyDate& other);

  int Day() const { return m_nDay; }
  int Month() const { return m_nMonth; }
  int Year() const { return m_nYear; }
  int DayOfWeek() const { return m_nDayOfWeek; }  // 0 = Sunday
  int Julian() const { return m_nJulian; }
  // The separator last read by a parse from text; '\0' until one is read.
  char DateSeparator() const { return m_cDateSep; }

  // Formats with the separator: the date codes are expanded as by the
  // one-argument Format, a '%' pair whose letter is no code stays in the text
  // as it is, and cSeparator follows the text of each of the first two '%'
  // pairs. Format("%Y%M%D", '/') gives "2026/12/04".
  virtual std::string Format(std::string strPattern, char cSeparator);
  // The pattern with its codes replaced: %Y year (at least two digits), %y the
  // third and fourth digits of %Y, %M month 01..12, %D day 01..31, %N / %m
  // full / short month name, %W / %w full / short weekday name, %l weekday
  // letter (S M T W U F A). Any other '%' pair, and a lone '%' at the end, is
  // removed; there is no literal '%'.
  virtual std::string Format(std::string strPattern) const;

  // Comparisons of the Julian day numbers.
  virtual bool operator==(const CMyDate& other) const;
  virtual bool operator!=(const CMyDate& other) const;
  virtual bool operator>=(const CMyDate& other) const;
  virtual bool operator<=(const CMyDate& other) const;
  virtual bool operator<(const CMyDate& other) const;
  virtual bool operator>(const CMyDate& other) const;

  // Leap year: before 1582 every fourth year, from 1582 the Gregorian rule.
  bool IsLeapYear() const;
  // Number of days of the date's month.
  int LastDay() const;
  // Adds months or years keeping the day, which rolls on when the new month is
  // shorter (31 January 2023 plus one month is 3 March 2023).
  void AddMonth(int nMonths);
  void AddYear(int nYears);

  CMyDate operator*(int nMonths) const;  // a copy, months added
  CMyDate& operator*=(int nMonths);
  CMyDate operator^(int nYears) const;  // a copy, years added
  CMyDate& operator^=(int nYears);
  const CMyDate& operator+=(int nDays);
  const CMyDate& operator-=(int nDays);
  CMyDate operator++();     // one day on; returns the new value
  CMyDate operator--();     // one day back; returns the new value
  CMyDate operator++(int);  // one day on; returns the old value
  CMyDate operator--(int);  // one day back; returns the old value

 protected:
  // Any character: 1 January 1900. ('0' marks a base about to be set by the
  // derived constructor; it holds 1 January 1900 until then.)
  explicit CMyDate(char c);

  // Sets m_nJulian only, from (day, month, year), rolling out-of-range values.
  void _ConvertToJulian(int nDay, int nMonth, int nYear);
  // Recomputes day, month, year and weekday from m_nJulian.
  void _SplitJulian();
  // _ConvertToJulian then _SplitJulian.
  void _Set(int nDay, int nMonth, int nYear);
  // Decimal text of nValue, zero-padded to at least nWidth digits (0..64).
  std::string _ItoS(int nValue, int nWidth) const;

  // Sets the Julian day from a 64-bit count (clamped) and splits it.
  void _SetJulian64(long long nJulian);
  // Appends the text of a date code; false (nothing appended) for no code.
  bool _ExpandDateCode(char cCode, std::string& strOut) const;

  int m_nJulian;
  int m_nDay;
  int m_nMonth;
  int m_nYear;
  int m_nDayOfWeek;
  char m_cDateSep;
};

CMyDate operator+(const CMyDate& date, int nDays);
CMyDate operator-(const CMyDate& date, int nDays);
// Days from b to a (a - b).
int operator-(const CMyDate& a, const CMyDate& b);

// Writes Format("%Y-%M-%D") through the virtual Format.
std::ostream& operator<<(std::ostream& os, const CMyDate& date);
// Reads one white-space delimited word and parses it as the text constructor.
std::istream& operator>>(std::istream& is, CMyDate& date);
