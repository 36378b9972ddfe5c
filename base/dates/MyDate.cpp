#include "base/dates/MyDate.h"

#include <cstdio>
#include <istream>
#include <ostream>

#include "base/dates/DateText.h"
#include "base/dates/JulianDay.h"
#include "base/system/Clock.h"

namespace {

constexpr int kJulian19000101 = 2415021;
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

}  // namespace

CMyDate::CMyDate() : CMyDate('1') {}

CMyDate::CMyDate(char c)
    : m_nJulian(kJulian19000101), m_nDay(1), m_nMonth(1), m_nYear(1900), m_nDayOfWeek(1),
      m_cDateSep('\0') {
  (void)c;
}

CMyDate::CMyDate(bool bFromClock, bool bUtc) : CMyDate('1') {
  if (bFromClock) Today(bUtc);
}

CMyDate::CMyDate(const char* szText) : CMyDate('1') { *this = szText; }

CMyDate::CMyDate(const std::string& strText) : CMyDate('1') { *this = strText.c_str(); }

CMyDate::CMyDate(int nJulian) : CMyDate('1') { *this = nJulian; }

CMyDate::CMyDate(int nYear, int nMonth, int nDay) : CMyDate('1') { _Set(nDay, nMonth, nYear); }

CMyDate::CMyDate(const CMyDate& other) : CMyDate('1') { _SetJulian64(other.m_nJulian); }

CMyDate::~CMyDate() = default;

void CMyDate::Today(bool bUtc) {
  CClockTime now;
  if (bUtc) {
    GetUtcClock(now);
  } else {
    GetLocalClock(now);
  }
  _Set(now.nDay, now.nMonth, now.nYear);
}

CMyDate& CMyDate::operator=(int nJulian) {
  _SetJulian64(nJulian);
  return *this;
}

CMyDate& CMyDate::operator=(const char* szText) {
  int nNumbers[3] = {1900, 1, 1};
  char cSeps[2] = {'\0', '\0'};
  const int nItems = ScanDateText(szText, 3, nNumbers, cSeps);
  if (nItems == 0) nNumbers[0] = 1900;  // no year: the default date
  if (nItems < 3) nNumbers[1] = 1;
  if (nItems < 5) nNumbers[2] = 1;
  if (nItems >= 2) m_cDateSep = cSeps[0];
  if (nItems >= 4) m_cDateSep = cSeps[1];
  _Set(nNumbers[2], nNumbers[1], nNumbers[0]);
  return *this;
}

CMyDate& CMyDate::operator=(const std::string& strText) { return *this = strText.c_str(); }

CMyDate& CMyDate::operator=(const CMyDate& other) {
  if (this != &other) _SetJulian64(other.m_nJulian);
  return *this;
}

void CMyDate::_ConvertToJulian(int nDay, int nMonth, int nYear) {
  m_nJulian = JulianFromCivil(nDay, nMonth, nYear);
}

void CMyDate::_SplitJulian() {
  const CCivilDate civil = CivilFromJulian(m_nJulian);
  m_nJulian = ClampJulianDay(m_nJulian);
  m_nDay = civil.nDay;
  m_nMonth = civil.nMonth;
  m_nYear = civil.nYear;
  m_nDayOfWeek = civil.nDayOfWeek;
}

void CMyDate::_Set(int nDay, int nMonth, int nYear) {
  _ConvertToJulian(nDay, nMonth, nYear);
  _SplitJulian();
}

void CMyDate::_SetJulian64(long long nJulian) {
  m_nJulian = ClampJulianDay(nJulian);
  _SplitJulian();
}

std::string CMyDate::_ItoS(int nValue, int nWidth) const {
  if (nWidth < 0) nWidth = 0;
  if (nWidth > 64) nWidth = 64;
  char szBuf[80];
  const int n = std::snprintf(szBuf, sizeof(szBuf), "%0*d", nWidth, nValue);
  if (n < 0) return std::string();
  return std::string(szBuf, static_cast<size_t>(n) < sizeof(szBuf) ? static_cast<size_t>(n)
                                                                     : sizeof(szBuf) - 1);
}

bool CMyDate::_ExpandDateCode(char cCode, std::string& strOut) const {
  switch (cCode) {
    case 'Y':
      strOut += _ItoS(m_nYear, 2);
      return true;
    case 'y': {
      const std::string strYear = _ItoS(m_nYear, 2);
      if (strYear.size() > 2) strOut += strYear.substr(2, 2);
      return true;
    }
    case 'M':
      strOut += _ItoS(m_nMonth, 2);
      return true;
    case 'D':
      strOut += _ItoS(m_nDay, 2);
      return true;
    case 'N':
      strOut += g_szMonthNames[m_nMonth];
      return true;
    case 'm':
      strOut += g_szMonthShortNames[m_nMonth];
      return true;
    case 'W':
      strOut += g_szWeekdayNames[m_nDayOfWeek];
      return true;
    case 'w':
      strOut += g_szWeekdayShortNames[m_nDayOfWeek];
      return true;
    case 'l':
      strOut += g_cWeekdayLetters[m_nDayOfWeek];
      return true;
    default:
      return false;
  }
}

std::string CMyDate::Format(std::string strPattern) const {
  return ExpandDatePattern(strPattern, [this](char c, std::string& strOut) {
    return _ExpandDateCode(c, strOut);
  });
}

std::string CMyDate::Format(std::string strPattern, char cSeparator) {
  std::string strOut;
  strOut.reserve(strPattern.size() + 16);
  int nPairs = 0;
  const size_t nLen = strPattern.size();
  for (size_t i = 0; i < nLen; ++i) {
    const char c = strPattern[i];
    if (c != '%') {
      strOut += c;
      continue;
    }
    if (i + 1 >= nLen) {
      strOut += c;  // a lone '%' at the end stays, like any pair that is no code
      break;
    }
    const char cCode = strPattern[++i];
    if (!_ExpandDateCode(cCode, strOut)) {
      strOut += '%';
      strOut += cCode;
    }
    if (nPairs < 2) strOut += cSeparator;
    ++nPairs;
  }
  return strOut;
}

bool CMyDate::operator==(const CMyDate& other) const { return m_nJulian == other.m_nJulian; }
bool CMyDate::operator!=(const CMyDate& other) const { return m_nJulian != other.m_nJulian; }
bool CMyDate::operator>=(const CMyDate& other) const { return m_nJulian >= other.m_nJulian; }
bool CMyDate::operator<=(const CMyDate& other) const { return m_nJulian <= other.m_nJulian; }
bool CMyDate::operator<(const CMyDate& other) const { return m_nJulian < other.m_nJulian; }
bool CMyDate::operator>(const CMyDate& other) const { return m_nJulian > other.m_nJulian; }

bool CMyDate::IsLeapYear() const {
  if (m_nYear < 1582) return m_nYear % 4 == 0;
  return (m_nYear % 4 == 0 && m_nYear % 100 != 0) || m_nYear % 400 == 0;
}

int CMyDate::LastDay() const {
  if (m_nMonth == 2 && IsLeapYear()) return 29;
  return kMonthDays[m_nMonth - 1];
}

void CMyDate::AddMonth(int nMonths) {
  // The conversion carries months beyond 1..12 into years, in both directions.
  m_nJulian = JulianFromCivil(m_nDay, static_cast<int64_t>(m_nMonth) + nMonths, m_nYear);
  _SplitJulian();
}

void CMyDate::AddYear(int nYears) {
  m_nJulian = JulianFromCivil(m_nDay, m_nMonth, static_cast<int64_t>(m_nYear) + nYears);
  _SplitJulian();
}

CMyDate CMyDate::operator*(int nMonths) const {
  CMyDate copy(*this);
  copy.AddMonth(nMonths);
  return copy;
}

CMyDate& CMyDate::operator*=(int nMonths) {
  AddMonth(nMonths);
  return *this;
}

CMyDate CMyDate::operator^(int nYears) const {
  CMyDate copy(*this);
  copy.AddYear(nYears);
  return copy;
}

CMyDate& CMyDate::operator^=(int nYears) {
  AddYear(nYears);
  return *this;
}

const CMyDate& CMyDate::operator+=(int nDays) {
  _SetJulian64(static_cast<long long>(m_nJulian) + nDays);
  return *this;
}

const CMyDate& CMyDate::operator-=(int nDays) {
  _SetJulian64(static_cast<long long>(m_nJulian) - nDays);
  return *this;
}

CMyDate CMyDate::operator++() {
  *this += 1;
  return CMyDate(*this);
}

CMyDate CMyDate::operator--() {
  *this -= 1;
  return CMyDate(*this);
}

CMyDate CMyDate::operator++(int) {
  CMyDate old(*this);
  *this += 1;
  return old;
}

CMyDate CMyDate::operator--(int) {
  CMyDate old(*this);
  *this -= 1;
  return old;
}

CMyDate operator+(const CMyDate& date, int nDays) {
  CMyDate copy(date);
  copy += nDays;
  return copy;
}

CMyDate operator-(const CMyDate& date, int nDays) {
  CMyDate copy(date);
  copy -= nDays;
  return copy;
}

int operator-(const CMyDate& a, const CMyDate& b) { return a.Julian() - b.Julian(); }

std::ostream& operator<<(std::ostream& os, const CMyDate& date) {
  return os << date.Format("%Y-%M-%D");
}

std::istream& operator>>(std::istream& is, CMyDate& date) {
  std::string strWord;
  if (is >> strWord) date = strWord;
  return is;
}
