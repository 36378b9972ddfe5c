#pragma once

// Base64, JSON reading and counting in text for tests, written independently
// of the code under test.

#include <string>

inline std::string ToBase64(const std::string& strBytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string strOut;
  unsigned nBits = 0;
  int nCount = 0;
  for (unsigned char c : strBytes) {
    nBits = (nBits << 8) | c;
    nCount += 8;
    while (nCount >= 6) {
      nCount -= 6;
      strOut += kDigits[(nBits >> nCount) & 63];
    }
  }
  if (nCount > 0) strOut += kDigits[(nBits << (6 - nCount)) & 63];
  while (strOut.size() % 4 != 0) strOut += '=';
  return strOut;
}

// "" for text that is not padded standard Base64.
inline std::string FromBase64(const std::string& strText) {
  static const std::string kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (strText.size() % 4 != 0) return std::string();
  const size_t nPad = strText.size() - strText.find_last_not_of('=') - 1;
  if (nPad > 2 || (nPad > 0 && strText.size() == nPad)) return std::string();
  std::string strOut;
  unsigned nBits = 0;
  int nCount = 0;
  for (size_t i = 0; i < strText.size() - nPad; ++i) {
    const size_t nDigit = kDigits.find(strText[i]);
    if (nDigit == std::string::npos) return std::string();
    nBits = (nBits << 6) | static_cast<unsigned>(nDigit);
    nCount += 6;
    if (nCount >= 8) {
      nCount -= 8;
      strOut += static_cast<char>((nBits >> nCount) & 0xFF);
    }
  }
  return strOut;
}

// A member of a flat JSON object: a string's text or a number's digits; ""
// when absent.
inline std::string JsonValue(const std::string& strJson, const std::string& strName) {
  const std::string strKey = "\"" + strName + "\":";
  size_t nPos = strJson.find(strKey);
  if (nPos == std::string::npos) return std::string();
  nPos += strKey.size();
  if (nPos < strJson.size() && strJson[nPos] == '"') {
    const size_t nEnd = strJson.find('"', nPos + 1);
    return nEnd == std::string::npos ? std::string() : strJson.substr(nPos + 1, nEnd - nPos - 1);
  }
  return strJson.substr(nPos, strJson.find_first_not_of("-0123456789", nPos) - nPos);
}

// How many times strWhat occurs in strText, not overlapping.
inline size_t CountOf(const std::string& strText, const std::string& strWhat) {
  size_t nCount = 0;
  for (size_t n = 0; (n = strText.find(strWhat, n)) != std::string::npos; n += strWhat.size()) {
    ++nCount;
  }
  return nCount;
}
