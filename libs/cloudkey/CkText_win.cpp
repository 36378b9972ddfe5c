#include "libs/cloudkey/CloudKey.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace {

constexpr UINT kCodePageGbk = 936;

// Through UTF-16, strictly: "" when the input is not valid in its code page
// or a character has no form in the target one.
std::string Convert(UINT nTo, UINT nFrom, const char* pIn, size_t nLen) {
  if (pIn == nullptr || nLen == 0 || nLen > INT_MAX / 2) return std::string();
  const int nIn = static_cast<int>(nLen);
  const int nWide = ::MultiByteToWideChar(nFrom, MB_ERR_INVALID_CHARS, pIn, nIn, nullptr, 0);
  if (nWide <= 0) return std::string();
  std::wstring strWide(static_cast<size_t>(nWide), L'\0');
  if (::MultiByteToWideChar(nFrom, MB_ERR_INVALID_CHARS, pIn, nIn, &strWide[0], nWide) != nWide) {
    return std::string();
  }
  BOOL bDefaultUsed = FALSE;
  // UTF-8 takes neither a default character nor the flag that asks for it.
  BOOL* pDefaultUsed = nTo == CP_UTF8 ? nullptr : &bDefaultUsed;
  const DWORD dwFlags = nTo == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
  const int nOut = ::WideCharToMultiByte(nTo, dwFlags, strWide.data(), nWide, nullptr, 0, nullptr,
                                         pDefaultUsed);
  if (nOut <= 0 || bDefaultUsed) return std::string();
  std::string strOut(static_cast<size_t>(nOut), '\0');
  if (::WideCharToMultiByte(nTo, dwFlags, strWide.data(), nWide, &strOut[0], nOut, nullptr,
                            pDefaultUsed) != nOut ||
      bDefaultUsed) {
    return std::string();
  }
  return strOut;
}

}  // namespace

std::string GBKToUTF8(const std::string& strGbk) {
  return Convert(CP_UTF8, kCodePageGbk, strGbk.data(), strGbk.size());
}

std::string UTF8ToGBK(const char* szUtf8) {
  return Convert(kCodePageGbk, CP_UTF8, szUtf8, szUtf8 != nullptr ? std::strlen(szUtf8) : 0);
}
