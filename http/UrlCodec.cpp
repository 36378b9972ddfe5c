#include "http/UrlCodec.h"

#include <cstring>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

void SplitString(const std::string& strSource, const std::string& strDelimiter,
                 std::vector<std::string>& vecPieces) {
  vecPieces.clear();
  if (strDelimiter.empty() || strSource.size() < strDelimiter.size()) {
    vecPieces.push_back(strSource);
    return;
  }
  std::string::size_type nStart = 0;
  for (;;) {
    const std::string::size_type nPos = strSource.find(strDelimiter, nStart);
    if (nPos == std::string::npos) break;
    vecPieces.push_back(strSource.substr(nStart, nPos - nStart));
    nStart = nPos + strDelimiter.size();
  }
  if (nStart < strSource.size()) vecPieces.push_back(strSource.substr(nStart));
}

void SplitKeyValue(std::string& strPiece, std::string& strValue, const std::string& strDelimiter) {
  strValue.clear();
  const std::string::size_type nPos = strPiece.find(strDelimiter);
  if (nPos == std::string::npos) return;
  strValue = strPiece.substr(nPos + strDelimiter.size());
  strPiece.erase(nPos);
}

std::string ByteToHex(unsigned char cByte) {
  std::string strHex(2, '0');
  strHex[0] = kHexDigits[(cByte >> 4) & 0x0F];
  strHex[1] = kHexDigits[cByte & 0x0F];
  return strHex;
}

int HexToBytes(unsigned char* pOut, const char* szDigits) {
  const size_t nLen = std::strlen(szDigits);
  if (nLen < 1) return 0;
  for (size_t i = 0; i < nLen; i += 2) {
    const unsigned char c1 = static_cast<unsigned char>(szDigits[i]);
    const unsigned char c2 = static_cast<unsigned char>(szDigits[i + 1]);  // 0 for an odd tail
    const unsigned nHigh = (c1 >= '0' && c1 <= '9') ? (c1 - '0') : (c1 - 7u);
    unsigned nLow;
    if (c2 >= '0' && c2 <= '9') {
      nLow = c2 - '0';
    } else if (c2 >= 'A' && c2 <= 'F') {
      nLow = c2 - 55u;
    } else {
      nLow = c2 - 87u;
    }
    pOut[i / 2] = static_cast<unsigned char>(((nHigh & 0x0F) << 4) | (nLow & 0x0F));
  }
  return static_cast<int>(nLen / 2);
}

std::string UrlDecode(const std::string& strValue) {
  // First pass: every output byte as two hexadecimal digits.
  std::string strDigits;
  strDigits.reserve(strValue.size() * 2);
  const size_t nLen = strValue.size();
  size_t i = 0;
  while (i < nLen) {
    const char c = strValue[i];
    if (c == '+') {
      strDigits += "20";
      i += 1;
    } else if (c == '%' && i + 1 < nLen && IsHexDigit(strValue[i + 1]) &&
               (i + 2 == nLen || IsHexDigit(strValue[i + 2]))) {
      // An escape; one digit cut short by the end leaves an odd tail that is
      // dropped below.
      strDigits += strValue[i + 1];
      if (i + 2 < nLen) strDigits += strValue[i + 2];
      i += 3;
    } else {
      strDigits += ByteToHex(static_cast<unsigned char>(c));
      i += 1;
    }
  }
  // Second pass: digits to bytes; an odd trailing digit is cut off.
  const size_t nBytes = strDigits.size() / 2;
  std::vector<unsigned char> vecOut(nBytes + 2, 0);
  HexToBytes(vecOut.data(), strDigits.c_str());
  vecOut[nBytes] = 0;
  return std::string(reinterpret_cast<const char*>(vecOut.data()));
}
