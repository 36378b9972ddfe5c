#include "base/search/StringSearch.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstring>

namespace {

// Checks shared by the three searches. Returns true when the answer is known
// without a scan and stores it in nResult.
bool TrivialAnswer(const unsigned char* pText, unsigned nTextLen,
                   const unsigned char* pPattern, unsigned nPatternLen, int& nResult) {
  if ((pText == nullptr && nTextLen != 0) || (pPattern == nullptr && nPatternLen != 0)) {
    nResult = -1;
    return true;
  }
  if (nTextLen < nPatternLen) {
    nResult = -1;
    return true;
  }
  if (nPatternLen == 0) {
    nResult = 0;
    return true;
  }
  return false;
}

int OffsetResult(size_t nOffset) {
  return nOffset > static_cast<size_t>(INT_MAX) ? -1 : static_cast<int>(nOffset);
}

// Runs one memory search over two terminated strings.
template <typename Search>
int SearchStrings(const char* szText, const char* szPattern, Search search) {
  if (szText == nullptr || szPattern == nullptr) return -1;
  size_t nText = std::strlen(szText);
  size_t nPattern = std::strlen(szPattern);
  if (nText > UINT_MAX || nPattern > UINT_MAX) return -1;
  return search(reinterpret_cast<const unsigned char*>(szText), static_cast<unsigned>(nText),
                reinterpret_cast<const unsigned char*>(szPattern),
                static_cast<unsigned>(nPattern));
}

}  // namespace

int KMPSearchMemory(const unsigned char* pText, unsigned nTextLen,
                    const unsigned char* pPattern, unsigned nPatternLen) {
  int nResult = -1;
  if (TrivialAnswer(pText, nTextLen, pPattern, nPatternLen, nResult)) return nResult;
  if (nPatternLen > KMP_MAX_PATTERN) return -1;

  // Prefix table, entries 0..m, in the optimised form: an entry skips a
  // position whose byte equals the one that just failed.
  const int m = static_cast<int>(nPatternLen);
  std::array<int, KMP_MAX_PATTERN + 1> next;
  next[0] = -1;
  int k = -1;
  int i = 0;
  while (i < m) {
    while (k > -1 && pPattern[k] != pPattern[i]) k = next[k];
    ++k;
    ++i;
    // Entry m is never read by the scan and must not read past the pattern.
    next[i] = (i < m && pPattern[k] == pPattern[i]) ? next[k] : k;
  }

  size_t nPos = 0;
  int j = 0;
  for (;;) {
    while (j > -1 && pPattern[j] != pText[nPos]) j = next[j];
    ++nPos;
    ++j;
    if (j == m) return OffsetResult(nPos - nPatternLen);
    if (nPos == nTextLen) return -1;
  }
}

int KMPSearchStr(const char* szText, const char* szPattern) {
  return SearchStrings(szText, szPattern, KMPSearchMemory);
}

int BMSearchMemory(const unsigned char* pText, unsigned nTextLen,
                   const unsigned char* pPattern, unsigned nPatternLen) {
  int nResult = -1;
  if (TrivialAnswer(pText, nTextLen, pPattern, nPatternLen, nResult)) return nResult;
  if (nPatternLen > BM_MAX_PATTERN) return -1;

  const int m = static_cast<int>(nPatternLen);

  // Bad-character shifts.
  std::array<int, 256> bc;
  bc.fill(m);
  for (int i = 0; i < m - 1; ++i) bc[pPattern[i]] = m - 1 - i;

  // suff[i]: length of the longest common suffix of the pattern and of its
  // prefix that ends at i.
  std::array<int, BM_MAX_PATTERN> suff;
  suff[m - 1] = m;
  int g = m - 1;
  int f = 0;
  for (int i = m - 2; i >= 0; --i) {
    if (i > g && suff[i + m - 1 - f] < i - g) {
      suff[i] = suff[i + m - 1 - f];
    } else {
      if (i < g) g = i;
      f = i;
      while (g >= 0 && pPattern[g] == pPattern[g + m - 1 - f]) --g;
      suff[i] = f - g;
    }
  }

  // Good-suffix shifts.
  std::array<int, BM_MAX_PATTERN> gs;
  std::fill(gs.begin(), gs.begin() + m, m);
  int j = 0;
  for (int i = m - 1; i >= 0; --i) {
    if (suff[i] == i + 1) {
      for (; j < m - 1 - i; ++j) {
        if (gs[j] == m) gs[j] = m - 1 - i;
      }
    }
  }
  for (int i = 0; i <= m - 2; ++i) gs[m - 1 - suff[i]] = m - 1 - i;

  const size_t nLast = static_cast<size_t>(nTextLen) - nPatternLen;
  size_t nPos = 0;
  while (nPos <= nLast) {
    int i = m - 1;
    while (i >= 0 && pPattern[i] == pText[nPos + i]) --i;
    if (i < 0) return OffsetResult(nPos);
    int nBad = bc[pText[nPos + i]] - m + 1 + i;
    nPos += static_cast<size_t>(gs[i] > nBad ? gs[i] : nBad);
  }
  return -1;
}

int BMSearchStr(const char* szText, const char* szPattern) {
  return SearchStrings(szText, szPattern, BMSearchMemory);
}

int SundaySearchMemory(const unsigned char* pText, unsigned nTextLen,
                       const unsigned char* pPattern, unsigned nPatternLen) {
  int nResult = -1;
  if (TrivialAnswer(pText, nTextLen, pPattern, nPatternLen, nResult)) return nResult;

  // Shift by the byte just after the window: its last place in the pattern
  // lines up with it, a byte not in the pattern moves the window past it.
  const size_t m = nPatternLen;
  std::array<size_t, 256> shift;
  shift.fill(m + 1);
  for (size_t i = 0; i < m; ++i) shift[pPattern[i]] = m - i;

  const size_t nLast = static_cast<size_t>(nTextLen) - m;
  size_t nPos = 0;
  for (;;) {
    if (std::memcmp(pText + nPos, pPattern, m) == 0) return OffsetResult(nPos);
    // The last window has no byte after it: the search ends there.
    if (nPos == nLast) return -1;
    nPos += shift[pText[nPos + m]];
    if (nPos > nLast) return -1;
  }
}

int SundaySearchStr(const char* szText, const char* szPattern) {
  return SearchStrings(szText, szPattern, SundaySearchMemory);
}
