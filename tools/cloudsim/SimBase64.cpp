#include "tools/cloudsim/SimBase64.h"

#include <openssl/evp.h>

#include <climits>
#include <cstring>

std::string SimBase64Encode(const std::string& strBytes) {
  if (strBytes.size() > static_cast<size_t>(INT_MAX / 4 * 3 - 3)) return std::string();
  std::string strOut(4 * ((strBytes.size() + 2) / 3) + 1, '\0');
  int nLen = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&strOut[0]),
                             reinterpret_cast<const unsigned char*>(strBytes.data()),
                             static_cast<int>(strBytes.size()));
  strOut.resize(nLen < 0 ? 0 : static_cast<size_t>(nLen));
  return strOut;
}

bool SimBase64Decode(const std::string& strText, std::string& strBytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const size_t nLen = strText.size();
  strBytes.clear();
  if (nLen % 4 != 0 || nLen > static_cast<size_t>(INT_MAX)) return false;
  size_t nPad = 0;
  if (nLen >= 1 && strText[nLen - 1] == '=') {
    nPad = (nLen >= 2 && strText[nLen - 2] == '=') ? 2 : 1;
  }
  for (size_t i = 0; i < nLen - nPad; ++i) {
    if (strText[i] == '\0' || std::strchr(kAlphabet, strText[i]) == nullptr) return false;
  }
  if (nLen == 0) return true;
  std::string strOut(nLen / 4 * 3, '\0');
  int nOut = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(&strOut[0]),
                             reinterpret_cast<const unsigned char*>(strText.data()),
                             static_cast<int>(nLen));
  if (nOut < 0 || static_cast<size_t>(nOut) < nPad) return false;
  strOut.resize(static_cast<size_t>(nOut) - nPad);
  strBytes.swap(strOut);
  return true;
}

std::string SimHex(const unsigned char* pBytes, size_t nLen) {
  static const char kDigits[] = "0123456789abcdef";
  std::string strOut;
  strOut.reserve(nLen * 2);
  for (size_t i = 0; i < nLen; ++i) {
    strOut += kDigits[pBytes[i] >> 4];
    strOut += kDigits[pBytes[i] & 0x0f];
  }
  return strOut;
}

int SimHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
