#pragma once

// Text helpers of the date classes: the English name tables, the one-pass
// pattern expander behind Format, and the scanner behind the text constructors.

#include <string>

// Month names, index 1..12 (index 0 is empty); weekday names, index 0..6 with
// Sunday first. Constant and independent of any locale.
extern const char* const g_szMonthNames[13];
extern const char* const g_szMonthShortNames[13];
extern const char* const g_szWeekdayNames[7];
extern const char* const g_szWeekdayShortNames[7];
extern const char g_cWeekdayLetters[7];  // S M T W U F A

// Rewrites a pattern from left to right: a '%' and the character after it are
// replaced by what fnExpand(letter, out) appends; for a letter that is no code
// fnExpand appends nothing (and returns false), so the pair is dropped. A lone
// '%' at the end is dropped. The output grows as needed, so no pattern is too
// long.
template <typename Expand>
std::string ExpandDatePattern(const std::string& strPattern, Expand fnExpand) {
  std::string strOut;
  strOut.reserve(strPattern.size() + 16);
  const size_t nLen = strPattern.size();
  for (size_t i = 0; i < nLen; ++i) {
    const char c = strPattern[i];
    if (c != '%') {
      strOut += c;
      continue;
    }
    if (i + 1 >= nLen) break;
    (void)fnExpand(strPattern[i + 1], strOut);
    ++i;
  }
  return strOut;
}

// Reads szText as sscanf would with "%d%c%d%c...%d" for nNumbers numbers: a
// number (leading white space skipped, optional sign), then any one character
// as a separator, and so on. Numbers go to pNumbers, separators to pSeps
// (nNumbers - 1 of them). Stops at the first item that cannot be read and
// returns how many items (numbers and separators, in order) were read. A
// number beyond the int range is clamped to it. A null text reads nothing.
int ScanDateText(const char* szText, int nNumbers, int* pNumbers, char* pSeps);
