#include "base/system/ExePath.h"

#include <windows.h>

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
