#include "base/system/ExePath.h"

#include <windows.h>

#include <mbstring.h>

bool GetExePath(char* szBuffer, int nSize) {
  if (szBuffer == nullptr || nSize <= 0) return false;
  // GetModuleFileNameA returns nSize when the name was cut to fit (older
  // systems then leave it unterminated), so that result is a failure.
  DWORD nLen = ::GetModuleFileNameA(nullptr, szBuffer, static_cast<DWORD>(nSize));
  if (nLen == 0 || nLen >= static_cast<DWORD>(nSize)) {
    szBuffer[0] = '\0';
    return false;
  }
  szBuffer[nLen] = '\0';
  return true;
}

char GetExePathSeparator() { return '\\'; }

size_t FindLastPathSeparator(const std::string& strPath) {
  const unsigned char* pStart = reinterpret_cast<const unsigned char*>(strPath.c_str());
  const unsigned char* pSep = ::_mbsrchr(pStart, '\\');
  return pSep == nullptr ? std::string::npos : static_cast<size_t>(pSep - pStart);
}
