#include "libs/cloudkey/CkJson.h"

#include <climits>
#include <cstdint>

#include "base/search/DecimalText.h"

namespace {

class CJsonReader {
 public:
  explicit CJsonReader(const std::string& strText) : m_str(strText) {}

  bool ReadObject(CkJsonObject& obj) {
    SkipBlanks();
    if (!Take('{')) return false;
    SkipBlanks();
    if (Take('}')) return AtEnd();
    for (;;) {
      std::string strName, strValue;
      SkipBlanks();
      if (!ReadString(strName)) return false;
      SkipBlanks();
      if (!Take(':')) return false;
      SkipBlanks();
      if (!ReadValue(strValue)) return false;
      if (!obj.emplace(std::move(strName), std::move(strValue)).second) return false;
      SkipBlanks();
      if (Take('}')) return AtEnd();
      if (!Take(',')) return false;
    }
  }

 private:
  bool AtEnd() {
    SkipBlanks();
    return m_nPos == m_str.size();
  }
  void SkipBlanks() {
    while (m_nPos < m_str.size() && (m_str[m_nPos] == ' ' || m_str[m_nPos] == '\t' ||
                                     m_str[m_nPos] == '\n' || m_str[m_nPos] == '\r')) {
      ++m_nPos;
    }
  }
  bool Take(char c) {
    if (m_nPos < m_str.size() && m_str[m_nPos] == c) {
      ++m_nPos;
      return true;
    }
    return false;
  }
  bool TakeWord(const char* szWord, std::string& strValue) {
    const std::string strWord = szWord;
    if (m_str.compare(m_nPos, strWord.size(), strWord) != 0) return false;
    m_nPos += strWord.size();
    strValue = strWord;
    return true;
  }
  bool ReadValue(std::string& strValue) {
    if (m_nPos >= m_str.size()) return false;
    const char c = m_str[m_nPos];
    if (c == '"') return ReadString(strValue);
    if (c == '-' || (c >= '0' && c <= '9')) return ReadNumber(strValue);
    return TakeWord("true", strValue) || TakeWord("false", strValue) ||
           TakeWord("null", strValue);
  }
  bool Digits() {
    const size_t nStart = m_nPos;
    while (m_nPos < m_str.size() && m_str[m_nPos] >= '0' && m_str[m_nPos] <= '9') ++m_nPos;
    return m_nPos > nStart;
  }
  bool ReadNumber(std::string& strValue) {
    const size_t nStart = m_nPos;
    Take('-');
    if (Take('0')) {
      // no leading zeros
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    strValue = m_str.substr(nStart, m_nPos - nStart);
    return true;
  }
  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  bool ReadHex4(unsigned& nCode) {
    if (m_str.size() - m_nPos < 4) return false;
    nCode = 0;
    for (int i = 0; i < 4; ++i) {
      const int n = HexValue(m_str[m_nPos++]);
      if (n < 0) return false;
      nCode = (nCode << 4) | static_cast<unsigned>(n);
    }
    return true;
  }
  static void AppendUtf8(std::string& strOut, unsigned nCode) {
    if (nCode < 0x80) {
      strOut += static_cast<char>(nCode);
    } else if (nCode < 0x800) {
      strOut += static_cast<char>(0xC0 | (nCode >> 6));
      strOut += static_cast<char>(0x80 | (nCode & 0x3F));
    } else if (nCode < 0x10000) {
      strOut += static_cast<char>(0xE0 | (nCode >> 12));
      strOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
      strOut += static_cast<char>(0x80 | (nCode & 0x3F));
    } else {
      strOut += static_cast<char>(0xF0 | (nCode >> 18));
      strOut += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
      strOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
      strOut += static_cast<char>(0x80 | (nCode & 0x3F));
    }
  }
  bool ReadEscape(std::string& strOut) {
    if (m_nPos >= m_str.size()) return false;
    const char c = m_str[m_nPos++];
    switch (c) {
      case '"': strOut += '"'; return true;
      case '\\': strOut += '\\'; return true;
      case '/': strOut += '/'; return true;
      case 'b': strOut += '\b'; return true;
      case 'f': strOut += '\f'; return true;
      case 'n': strOut += '\n'; return true;
      case 'r': strOut += '\r'; return true;
      case 't': strOut += '\t'; return true;
      case 'u': break;
      default: return false;
    }
    unsigned nCode = 0;
    if (!ReadHex4(nCode)) return false;
    if (nCode >= 0xDC00 && nCode <= 0xDFFF) return false;  // a lone low surrogate
    if (nCode >= 0xD800 && nCode <= 0xDBFF) {
      unsigned nLow = 0;
      if (!Take('\\') || !Take('u') || !ReadHex4(nLow) || nLow < 0xDC00 || nLow > 0xDFFF) {
        return false;
      }
      nCode = 0x10000 + ((nCode - 0xD800) << 10) + (nLow - 0xDC00);
    }
    AppendUtf8(strOut, nCode);
    return true;
  }
  bool ReadString(std::string& strOut) {
    if (!Take('"')) return false;
    strOut.clear();
    while (m_nPos < m_str.size()) {
      const char c = m_str[m_nPos++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        if (!ReadEscape(strOut)) return false;
      } else {
        strOut += c;
      }
    }
    return false;
  }

  const std::string& m_str;
  size_t m_nPos = 0;
};

void AppendJsonString(std::string& strOut, const std::string& strValue) {
  static const char kHex[] = "0123456789abcdef";
  strOut += '"';
  for (const char c : strValue) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      strOut += '\\';
      strOut += c;
    } else if (u < 0x20) {
      strOut += "\\u00";
      strOut += kHex[u >> 4];
      strOut += kHex[u & 0x0F];
    } else {
      strOut += c;
    }
  }
  strOut += '"';
}

}  // namespace

bool CkJsonParse(const std::string& strText, CkJsonObject& obj) {
  obj.clear();
  CJsonReader reader(strText);
  if (reader.ReadObject(obj)) return true;
  obj.clear();
  return false;
}

std::string CkJsonWrite(const std::vector<std::pair<std::string, std::string>>& vMembers) {
  std::string strOut = "{";
  for (size_t i = 0; i < vMembers.size(); ++i) {
    if (i != 0) strOut += ',';
    AppendJsonString(strOut, vMembers[i].first);
    strOut += ':';
    AppendJsonString(strOut, vMembers[i].second);
  }
  strOut += '}';
  return strOut;
}

bool CkJsonInt(const CkJsonObject& obj, const std::string& strName, int& nValue) {
  auto it = obj.find(strName);
  if (it == obj.end() || it->second.empty()) return false;
  const std::string& strText = it->second;
  const bool bNegative = strText[0] == '-';
  uint64_t n = 0;
  if (!ParseDecimalDigits(bNegative ? strText.substr(1) : strText, n)) return false;
  const uint64_t nLimit = bNegative ? uint64_t{INT_MAX} + 1 : uint64_t{INT_MAX};
  if (n > nLimit) return false;
  nValue = bNegative ? static_cast<int>(-static_cast<int64_t>(n)) : static_cast<int>(n);
  return true;
}
