#include "base/logging/LogText.h"

std::string EscapeControlBytes(const std::string& strText) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string strOut;
  strOut.reserve(strText.size());
  for (char c : strText) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      strOut += "\\x";
      strOut += kHex[b >> 4];
      strOut += kHex[b & 0x0F];
    } else {
      strOut += c;
    }
  }
  return strOut;
}
