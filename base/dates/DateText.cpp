#include "base/dates/DateText.h"

#include <climits>

const char* const g_szMonthNames[13] = {"",        "January",  "February", "March",  "April",
                                        "May",     "June",     "July",     "August", "September",
                                        "October", "November", "December"};
const char* const g_szMonthShortNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const g_szWeekdayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
const char* const g_szWeekdayShortNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char g_cWeekdayLetters[7] = {'S', 'M', 'T', 'W', 'U', 'F', 'A'};

namespace {

bool IsScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d": returns false (nothing stored) when no digit follows.
bool ScanInt(const char*& p, int& nOut) {
  while (IsScanSpace(*p)) ++p;
  const char* q = p;
  bool bNegative = false;
  if (*q == '+' || *q == '-') {
    bNegative = *q == '-';
    ++q;
  }
  if (*q < '0' || *q > '9') return false;
  long long nValue = 0;
  // Saturate instead of overflowing; keep consuming the digits.
  for (; *q >= '0' && *q <= '9'; ++q) {
    if (nValue <= static_cast<long long>(INT_MAX) + 1) nValue = nValue * 10 + (*q - '0');
  }
  if (bNegative) nValue = -nValue;
  if (nValue > INT_MAX) nValue = INT_MAX;
  if (nValue < INT_MIN) nValue = INT_MIN;
  nOut = static_cast<int>(nValue);
  p = q;
  return true;
}

}  // namespace

int ScanDateText(const char* szText, int nNumbers, int* pNumbers, char* pSeps) {
  if (szText == nullptr) return 0;
  const char* p = szText;
  int nItems = 0;
  for (int k = 0; k < nNumbers; ++k) {
    if (!ScanInt(p, pNumbers[k])) return nItems;
    ++nItems;
    if (k + 1 == nNumbers) break;
    if (*p == '\0') return nItems;
    pSeps[k] = *p++;
    ++nItems;
  }
  return nItems;
}
