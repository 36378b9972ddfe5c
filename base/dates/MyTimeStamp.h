#pragma once

// CMyTimeStamp: the seven fields of a date-time as plain ints, in the order
// year, month, day, hour, minute, second, millisecond. Any field may be out of
// range; assigning a stamp to a CMyDatetime normalises it.

struct CMyTimeStamp {
  int nYear;
  int nMonth;
  int nDay;
  int nHour;
  int nMinute;
  int nSecond;
  int nMilliSecond;

  CMyTimeStamp() : nYear(0), nMonth(0), nDay(0), nHour(0), nMinute(0), nSecond(0), nMilliSecond(0) {}
  CMyTimeStamp(int year, int month, int day, int hour, int minute, int second, int millisecond)
      : nYear(year), nMonth(month), nDay(day), nHour(hour), nMinute(minute), nSecond(second),
        nMilliSecond(millisecond) {}
  CMyTimeStamp(const CMyTimeStamp&) = default;
  CMyTimeStamp& operator=(const CMyTimeStamp&) = default;
};
