#include "base/search/DecimalText.h"

#include <limits>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t ParseDecimal(const char* pText, size_t nLen) {
  if (pText == nullptr) return 0;
  const char* p = pText;
  const char* pEnd = pText + nLen;
  while (p < pEnd && IsBlank(*p)) ++p;
  bool bNegative = false;
  if (p < pEnd && (*p == '+' || *p == '-')) {
    bNegative = *p == '-';
    ++p;
  }
  constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  int64_t nValue = 0;
  for (; p < pEnd && *p >= '0' && *p <= '9'; ++p) {
    nValue = nValue * 10 + (*p - '0');
    if (nValue > kLimit) nValue = kLimit;  // saturated; later digits change nothing
  }
  if (bNegative) nValue = -nValue;
  if (nValue > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(nValue);  // -(INT32_MAX + 1) is INT32_MIN
}

int32_t ParseDecimal(const std::string& strText) {
  return ParseDecimal(strText.c_str(), strText.size());
}

bool ParseDecimalDigits(const std::string& strText, uint64_t& nValue) {
  if (strText.empty() || strText.size() > 19) return false;
  uint64_t n = 0;
  for (char c : strText) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  nValue = n;
  return true;
}
