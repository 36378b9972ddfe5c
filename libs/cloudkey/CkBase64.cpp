#include "libs/cloudkey/CloudKey.h"

#include <algorithm>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

int Base64Encode(char* szOut, const char* pIn, int nLen) {
  if (szOut == nullptr || nLen < 0 || (pIn == nullptr && nLen > 0)) return -1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(pIn);
  int nOut = 0;
  int i = 0;
  for (; nLen - i >= 3; i += 3) {
    const unsigned n = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    szOut[nOut++] = kAlphabet[(n >> 18) & 0x3F];
    szOut[nOut++] = kAlphabet[(n >> 12) & 0x3F];
    szOut[nOut++] = kAlphabet[(n >> 6) & 0x3F];
    szOut[nOut++] = kAlphabet[n & 0x3F];
  }
  if (nLen - i > 0) {
    const bool bTwo = nLen - i == 2;
    const unsigned n = (p[i] << 16) | (bTwo ? p[i + 1] << 8 : 0);
    szOut[nOut++] = kAlphabet[(n >> 18) & 0x3F];
    szOut[nOut++] = kAlphabet[(n >> 12) & 0x3F];
    szOut[nOut++] = bTwo ? kAlphabet[(n >> 6) & 0x3F] : '=';
    szOut[nOut++] = '=';
  }
  szOut[nOut] = '\0';
  return nOut;
}

int Base64Decode(char* pOut, const char* szIn, int nLen) {
  if (pOut == nullptr || nLen < 0 || (szIn == nullptr && nLen > 0) || nLen % 4 != 0) return -1;
  // Check the whole text before writing anything: '=' only as the last one
  // or two characters, and the bits the padding drops must be zero.
  int nPad = 0;
  if (nLen > 0 && szIn[nLen - 1] == '=') nPad = (nLen > 1 && szIn[nLen - 2] == '=') ? 2 : 1;
  for (int i = 0; i < nLen - nPad; ++i) {
    if (SextetOf(szIn[i]) < 0) return -1;
  }
  if (nPad == 2 && (SextetOf(szIn[nLen - 3]) & 0x0F) != 0) return -1;
  if (nPad == 1 && (SextetOf(szIn[nLen - 2]) & 0x03) != 0) return -1;

  int nOut = 0;
  for (int i = 0; i < nLen; i += 4) {
    const bool bLast = i + 4 == nLen;
    const int nChars = bLast ? 4 - nPad : 4;
    unsigned n = 0;
    for (int k = 0; k < 4; ++k) n = (n << 6) | (k < nChars ? SextetOf(szIn[i + k]) : 0);
    pOut[nOut++] = static_cast<char>((n >> 16) & 0xFF);
    if (nChars > 2) pOut[nOut++] = static_cast<char>((n >> 8) & 0xFF);
    if (nChars > 3) pOut[nOut++] = static_cast<char>(n & 0xFF);
  }
  return nOut;
}

void Reverser(char* pBuf, int nLen) {
  if (pBuf == nullptr || nLen <= 1) return;
  std::reverse(pBuf, pBuf + nLen);
}
