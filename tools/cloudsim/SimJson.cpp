#include "tools/cloudsim/SimJson.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/cloudsim/SimBase64.h"

namespace {

class CReader {
 public:
  explicit CReader(const std::string& strText) : m_str(strText) {}

  void SkipSpace() {
    while (m_n < m_str.size() &&
           (m_str[m_n] == ' ' || m_str[m_n] == '\t' || m_str[m_n] == '\r' || m_str[m_n] == '\n')) {
      ++m_n;
    }
  }
  bool AtEnd() const { return m_n >= m_str.size(); }
  char Peek() const { return AtEnd() ? '\0' : m_str[m_n]; }
  bool Take(char c) {
    if (AtEnd() || m_str[m_n] != c) return false;
    ++m_n;
    return true;
  }

  bool ReadString(std::string& strOut) {
    strOut.clear();
    if (!Take('"')) return false;
    while (!AtEnd()) {
      unsigned char c = static_cast<unsigned char>(m_str[m_n++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        strOut += static_cast<char>(c);
        continue;
      }
      if (AtEnd()) return false;
      char e = m_str[m_n++];
      if (e == 'u') {
        if (!ReadEscapedCodePoint(strOut)) return false;
        continue;
      }
      static const char kEscaped[] = "\"\\/bfnrt";
      static const char kMeant[] = "\"\\/\b\f\n\r\t";
      const char* pFound = e == '\0' ? nullptr : std::strchr(kEscaped, e);
      if (pFound == nullptr) return false;
      strOut += kMeant[pFound - kEscaped];
    }
    return false;
  }

  // A number (JSON grammar) or one of the literals, kept as its text.
  bool ReadBareValue(std::string& strOut) {
    size_t nStart = m_n;
    for (const char* szLiteral : {"true", "false", "null"}) {
      if (m_str.compare(m_n, std::char_traits<char>::length(szLiteral), szLiteral) == 0) {
        m_n += std::char_traits<char>::length(szLiteral);
        strOut = szLiteral;
        return true;
      }
    }
    Take('-');
    if (Take('0')) {
    } else if (!TakeDigits()) {
      return false;
    }
    if (Take('.') && !TakeDigits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!TakeDigits()) return false;
    }
    strOut = m_str.substr(nStart, m_n - nStart);
    return true;
  }

 private:
  bool TakeDigits() {
    size_t nStart = m_n;
    while (!AtEnd() && m_str[m_n] >= '0' && m_str[m_n] <= '9') ++m_n;
    return m_n > nStart;
  }

  bool ReadHex4(unsigned& nValue) {
    if (m_str.size() - m_n < 4) return false;
    nValue = 0;
    for (int i = 0; i < 4; ++i) {
      int nDigit = SimHexDigit(m_str[m_n++]);
      if (nDigit < 0) return false;
      nValue = (nValue << 4) | static_cast<unsigned>(nDigit);
    }
    return true;
  }

  // After "\u": one code point, a surrogate pair taken whole, written as UTF-8.
  bool ReadEscapedCodePoint(std::string& strOut) {
    unsigned nCode = 0;
    if (!ReadHex4(nCode)) return false;
    if (nCode >= 0xDC00 && nCode <= 0xDFFF) return false;
    if (nCode >= 0xD800 && nCode <= 0xDBFF) {
      unsigned nLow = 0;
      if (!Take('\\') || !Take('u') || !ReadHex4(nLow)) return false;
      if (nLow < 0xDC00 || nLow > 0xDFFF) return false;
      nCode = 0x10000 + ((nCode - 0xD800) << 10) + (nLow - 0xDC00);
    }
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
    return true;
  }

  const std::string& m_str;
  size_t m_n = 0;
};

}  // namespace

bool CSimJsonObject::Parse(const std::string& strText) {
  m_mapMembers.clear();
  std::map<std::string, std::string> mapRead;
  CReader reader(strText);
  reader.SkipSpace();
  if (!reader.Take('{')) return false;
  reader.SkipSpace();
  if (!reader.Take('}')) {
    for (;;) {
      std::string strName;
      std::string strValue;
      reader.SkipSpace();
      if (!reader.ReadString(strName)) return false;
      reader.SkipSpace();
      if (!reader.Take(':')) return false;
      reader.SkipSpace();
      bool bOk =
          reader.Peek() == '"' ? reader.ReadString(strValue) : reader.ReadBareValue(strValue);
      if (!bOk) return false;
      // A repeated member is ambiguous: refused rather than guessed.
      if (!mapRead.emplace(strName, strValue).second) return false;
      reader.SkipSpace();
      if (reader.Take('}')) break;
      if (!reader.Take(',')) return false;
    }
  }
  reader.SkipSpace();
  if (!reader.AtEnd()) return false;
  m_mapMembers.swap(mapRead);
  return true;
}

std::string CSimJsonObject::Get(const std::string& strName) const {
  auto it = m_mapMembers.find(strName);
  return it == m_mapMembers.end() ? std::string() : it->second;
}

bool CSimJsonObject::GetInt(const std::string& strName, long long nMin, long long nMax,
                            long long& nValue) const {
  std::string strText = Get(strName);
  if (strText.empty() || strText.size() > 19) return false;
  size_t nStart = strText[0] == '-' ? 1 : 0;
  if (nStart == strText.size()) return false;
  for (size_t i = nStart; i < strText.size(); ++i) {
    if (strText[i] < '0' || strText[i] > '9') return false;
  }
  errno = 0;
  long long n = std::strtoll(strText.c_str(), nullptr, 10);
  if (errno != 0 || n < nMin || n > nMax) return false;
  nValue = n;
  return true;
}

std::string SimJsonQuote(const std::string& strValue) {
  static const char kDigits[] = "0123456789abcdef";
  std::string strOut;
  strOut.reserve(strValue.size() + 2);
  strOut += '"';
  for (char c : strValue) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      strOut += '\\';
      strOut += c;
    } else if (u < 0x20) {
      strOut += "\\u00";
      strOut += kDigits[u >> 4];
      strOut += kDigits[u & 0x0f];
    } else {
      strOut += c;
    }
  }
  strOut += '"';
  return strOut;
}

void CSimJsonWriter::Name(const std::string& strName) {
  if (m_strText.size() > 1) m_strText += ',';
  m_strText += SimJsonQuote(strName);
  m_strText += ':';
}

CSimJsonWriter& CSimJsonWriter::Str(const std::string& strName, const std::string& strValue) {
  Name(strName);
  m_strText += SimJsonQuote(strValue);
  return *this;
}

CSimJsonWriter& CSimJsonWriter::Num(const std::string& strName, long long nValue) {
  Name(strName);
  m_strText += std::to_string(nValue);
  return *this;
}
