#include "libs/cloudkey/CloudKey.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

// The whole text converted, or "" when a byte sequence is not valid in the
// source encoding or has no form in the target one.
std::string Convert(const char* szTo, const char* szFrom, const char* pIn, size_t nLen) {
  if (pIn == nullptr || nLen == 0) return std::string();
  iconv_t cd = ::iconv_open(szTo, szFrom);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string strOut(nLen * 2 + 16, '\0');
  char* pSrc = const_cast<char*>(pIn);
  size_t nSrcLeft = nLen;
  size_t nDone = 0;
  bool bOk = true;
  while (nSrcLeft > 0) {
    char* pDst = &strOut[nDone];
    size_t nDstLeft = strOut.size() - nDone;
    const size_t nRc = ::iconv(cd, &pSrc, &nSrcLeft, &pDst, &nDstLeft);
    nDone = strOut.size() - nDstLeft;
    if (nRc != static_cast<size_t>(-1)) break;
    if (errno != E2BIG) {
      bOk = false;
      break;
    }
    strOut.resize(strOut.size() * 2);
  }
  ::iconv_close(cd);
  if (!bOk) return std::string();
  strOut.resize(nDone);
  return strOut;
}

}  // namespace

std::string GBKToUTF8(const std::string& strGbk) {
  return Convert("UTF-8", "GBK", strGbk.data(), strGbk.size());
}

std::string UTF8ToGBK(const char* szUtf8) {
  return Convert("GBK", "UTF-8", szUtf8, szUtf8 != nullptr ? std::strlen(szUtf8) : 0);
}
