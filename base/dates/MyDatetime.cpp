#include "base/dates/MyDatetime.h"

#include <climits>
#include <istream>
#include <ostream>

#include "base/dates/DateText.h"
#include "base/dates/JulianDay.h"
#include "base/system/Clock.h"

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
constexpr int64_t kMsPerDay = 24 * kMsPerHour;

int ClampToInt(int64_t n) {
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

}  // namespace

CMyDatetime::CMyDatetime()
    : CMyDate('0'), m_nHour(0), m_nMinute(0), m_nSecond(0), m_nMilliSecond(0), m_cTimeSep('\0') {}

CMyDatetime::CMyDatetime(bool bFromClock, bool bUtc) : CMyDatetime() {
  if (bFromClock) Now(bUtc);
}

CMyDatetime::CMyDatetime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                         int nMilliSecond)
    : CMyDatetime() {
  CMyTimeStamp stamp(nYear, nMonth, nDay, nHour, nMinute, nSecond, nMilliSecond);
  _AssignStamp(stamp);
}

CMyDatetime::CMyDatetime(CMyTimeStamp& stamp) : CMyDatetime() { _AssignStamp(stamp); }

CMyDatetime& CMyDatetime::operator=(CMyTimeStamp& stamp) {
  _AssignStamp(stamp);
  return *this;
}

CMyDatetime::CMyDatetime(const char* szText) : CMyDatetime() { *this = szText; }

CMyDatetime::CMyDatetime(const std::string& strText) : CMyDatetime() { *this = strText.c_str(); }

CMyDatetime& CMyDatetime::operator=(const char* szText) {
  // year c month c day c(dropped) hour c minute c second c millisecond
  int nNumbers[7] = {1900, 1, 1, 0, 0, 0, 0};
  char cSeps[6] = {};
  const int nItems = ScanDateText(szText, 7, nNumbers, cSeps);
  // Items are numbers at even and separators at odd positions.
  const int kDefaults[7] = {1900, 1, 1, 0, 0, 0, 0};
  for (int k = 0; k < 7; ++k) {
    if (nItems < 2 * k + 1) nNumbers[k] = kDefaults[k];
  }
  for (int k = 0; k < 6; ++k) {
    if (nItems < 2 * k + 2) break;
    if (k < 2) m_cDateSep = cSeps[k];
    if (k >= 3) m_cTimeSep = cSeps[k];
  }
  CMyTimeStamp stamp(nNumbers[0], nNumbers[1], nNumbers[2], nNumbers[3], nNumbers[4],
                     nNumbers[5], nNumbers[6]);
  _AssignStamp(stamp);
  return *this;
}

CMyDatetime& CMyDatetime::operator=(const std::string& strText) {
  return *this = strText.c_str();
}

CMyDatetime::CMyDatetime(const CMyDatetime& other)
    : CMyDate('0'), m_nHour(other.m_nHour), m_nMinute(other.m_nMinute),
      m_nSecond(other.m_nSecond), m_nMilliSecond(other.m_nMilliSecond), m_cTimeSep('\0') {
  _SetJulian64(other.m_nJulian);
}

CMyDatetime& CMyDatetime::operator=(const CMyDatetime& other) {
  if (this == &other) return *this;
  _SetJulian64(other.m_nJulian);
  m_nHour = other.m_nHour;
  m_nMinute = other.m_nMinute;
  m_nSecond = other.m_nSecond;
  m_nMilliSecond = other.m_nMilliSecond;
  return *this;
}

CMyDatetime::~CMyDatetime() = default;

void CMyDatetime::Now(bool bUtc) {
  CClockTime now;
  if (bUtc) {
    GetUtcClock(now);
  } else {
    GetLocalClock(now);
  }
  _TSet(now.nYear, now.nMonth, now.nDay, now.nHour, now.nMinute, now.nSecond, now.nMilliSecond);
}

void CMyDatetime::GetTimeStamp(CMyTimeStamp& out) const {
  out = CMyTimeStamp(m_nYear, m_nMonth, m_nDay, m_nHour, m_nMinute, m_nSecond, m_nMilliSecond);
}

void CMyDatetime::_TSet(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                        int nMilliSecond) {
  _Set(nDay, nMonth, nYear);
  m_nHour = nHour;
  m_nMinute = nMinute;
  m_nSecond = nSecond;
  m_nMilliSecond = nMilliSecond;
}

void CMyDatetime::_AssignStamp(CMyTimeStamp& stamp) {
  // Each field is brought into range with floor division, carrying (or
  // borrowing) into the next larger one; 64 bits so no carry can overflow.
  int64_t nMs = stamp.nMilliSecond;
  int64_t nSecond = stamp.nSecond + FloorDiv(nMs, 1000);
  nMs = FloorMod(nMs, 1000);
  int64_t nMinute = stamp.nMinute + FloorDiv(nSecond, 60);
  nSecond = FloorMod(nSecond, 60);
  int64_t nHour = stamp.nHour + FloorDiv(nMinute, 60);
  nMinute = FloorMod(nMinute, 60);
  const int64_t nDay = stamp.nDay + FloorDiv(nHour, 24);
  nHour = FloorMod(nHour, 24);

  stamp.nMilliSecond = static_cast<int>(nMs);
  stamp.nSecond = static_cast<int>(nSecond);
  stamp.nMinute = static_cast<int>(nMinute);
  stamp.nHour = static_cast<int>(nHour);
  stamp.nDay = ClampToInt(nDay);

  m_nJulian = JulianFromCivil(nDay, stamp.nMonth, stamp.nYear);
  _SplitJulian();
  m_nHour = stamp.nHour;
  m_nMinute = stamp.nMinute;
  m_nSecond = stamp.nSecond;
  m_nMilliSecond = stamp.nMilliSecond;
}

int64_t CMyDatetime::_MilliSecondsOfDay() const {
  return m_nHour * kMsPerHour + m_nMinute * kMsPerMinute + m_nSecond * kMsPerSecond +
         static_cast<int64_t>(m_nMilliSecond);
}

void CMyDatetime::_ShiftMilliSeconds(int64_t nDelta) {
  const int64_t nTotal = _MilliSecondsOfDay() + nDelta;
  int64_t nOfDay = FloorMod(nTotal, kMsPerDay);
  _SetJulian64(static_cast<int64_t>(m_nJulian) + FloorDiv(nTotal, kMsPerDay));
  m_nHour = static_cast<int>(nOfDay / kMsPerHour);
  nOfDay %= kMsPerHour;
  m_nMinute = static_cast<int>(nOfDay / kMsPerMinute);
  nOfDay %= kMsPerMinute;
  m_nSecond = static_cast<int>(nOfDay / kMsPerSecond);
  m_nMilliSecond = static_cast<int>(nOfDay % kMsPerSecond);
}

void CMyDatetime::AddHour(int n) { _ShiftMilliSeconds(n * kMsPerHour); }
void CMyDatetime::AddMinute(int n) { _ShiftMilliSeconds(n * kMsPerMinute); }
void CMyDatetime::AddSecond(int n) { _ShiftMilliSeconds(n * kMsPerSecond); }
void CMyDatetime::AddMilliSec(int n) { _ShiftMilliSeconds(n); }
void CMyDatetime::DevHour(int n) { _ShiftMilliSeconds(-(n * kMsPerHour)); }
void CMyDatetime::DevMinute(int n) { _ShiftMilliSeconds(-(n * kMsPerMinute)); }
void CMyDatetime::DevSecond(int n) { _ShiftMilliSeconds(-(n * kMsPerSecond)); }
void CMyDatetime::DevMilliSec(int n) { _ShiftMilliSeconds(-static_cast<int64_t>(n)); }

std::string CMyDatetime::Format(std::string strPattern) const {
  return ExpandDatePattern(strPattern, [this](char c, std::string& strOut) {
    switch (c) {
      case 'H':
      case 'h':
        strOut += _ItoS(m_nHour, 2);
        return true;
      case 'U':
      case 'u':
        strOut += _ItoS(m_nMinute, 2);
        return true;
      case 'S':
      case 's':
        strOut += _ItoS(m_nSecond, 2);
        return true;
      case 'R':
      case 'r':
        strOut += _ItoS(m_nMilliSecond, 3);
        return true;
      default:
        return _ExpandDateCode(c, strOut);
    }
  });
}

CMyDatetime CMyDatetime::operator*(int nMonths) const {
  CMyDatetime copy(*this);
  copy.AddMonth(nMonths);
  return copy;
}

CMyDatetime CMyDatetime::operator^(int nYears) const {
  CMyDatetime copy(*this);
  copy.AddYear(nYears);
  return copy;
}

CMyDatetime CMyDatetime::operator++() {
  *this += 1;
  return CMyDatetime(*this);
}

CMyDatetime CMyDatetime::operator--() {
  *this -= 1;
  return CMyDatetime(*this);
}

CMyDatetime CMyDatetime::operator++(int) {
  CMyDatetime old(*this);
  *this += 1;
  return old;
}

CMyDatetime CMyDatetime::operator--(int) {
  CMyDatetime old(*this);
  *this -= 1;
  return old;
}

bool CMyDatetime::operator==(const CMyDatetime& o) const {
  return m_nJulian == o.m_nJulian && m_nHour == o.m_nHour && m_nMinute == o.m_nMinute &&
         m_nSecond == o.m_nSecond && m_nMilliSecond == o.m_nMilliSecond;
}

bool CMyDatetime::operator!=(const CMyDatetime& o) const { return !(*this == o); }

bool CMyDatetime::operator<(const CMyDatetime& o) const {
  if (m_nJulian != o.m_nJulian) return m_nJulian < o.m_nJulian;
  if (m_nHour != o.m_nHour) return m_nHour < o.m_nHour;
  if (m_nMinute != o.m_nMinute) return m_nMinute < o.m_nMinute;
  if (m_nSecond != o.m_nSecond) return m_nSecond < o.m_nSecond;
  return m_nMilliSecond < o.m_nMilliSecond;
}

bool CMyDatetime::operator>(const CMyDatetime& o) const { return o < *this; }
bool CMyDatetime::operator>=(const CMyDatetime& o) const { return !(*this < o); }
bool CMyDatetime::operator<=(const CMyDatetime& o) const { return !(*this > o); }

CMyTime2Int CMyDatetime::Get2Int() const {
  const unsigned int uTime = static_cast<unsigned int>(m_nHour) << 26 |
                             static_cast<unsigned int>(m_nMinute) << 20 |
                             static_cast<unsigned int>(m_nSecond) << 14 |
                             static_cast<unsigned int>(m_nMilliSecond);
  return CMyTime2Int(m_nJulian, uTime);
}

void CMyDatetime::SetBy2Int(CMyTime2Int packed) {
  _SetJulian64(packed.nJulian);
  m_nHour = 0;
  m_nMinute = 0;
  m_nSecond = 0;
  m_nMilliSecond = 0;
  const int64_t nOfDay = static_cast<int64_t>(packed.uTime >> 26) * kMsPerHour +
                         static_cast<int64_t>((packed.uTime >> 20) & 63u) * kMsPerMinute +
                         static_cast<int64_t>((packed.uTime >> 14) & 63u) * kMsPerSecond +
                         static_cast<int64_t>(packed.uTime & 16383u);
  _ShiftMilliSeconds(nOfDay);
}

CMyDatetime operator+(const CMyDatetime& dt, int nDays) {
  CMyDatetime copy(dt);
  copy += nDays;
  return copy;
}

CMyDatetime operator-(const CMyDatetime& dt, int nDays) {
  CMyDatetime copy(dt);
  copy -= nDays;
  return copy;
}

std::ostream& operator<<(std::ostream& os, const CMyDatetime& dt) {
  return os << dt.Format("%Y-%M-%D %H:%U:%S:%R");
}

std::istream& operator>>(std::istream& is, CMyDatetime& dt) {
  std::string strWord;
  if (is >> strWord) dt = strWord;
  return is;
}
