#include "base/system/ExePath.h"

#include <unistd.h>

bool GetExePath(char* szBuffer, int nSize) {
  if (szBuffer == nullptr || nSize <= 0) return false;
  // readlink writes no terminator and cuts silently: a result that fills the
  // whole buffer may have been cut and leaves no room for the terminator.
  ssize_t nLen = ::readlink("/proc/self/exe", szBuffer, static_cast<size_t>(nSize));
  if (nLen <= 0 || nLen >= nSize) {
    szBuffer[0] = '\0';
    return false;
  }
  szBuffer[nLen] = '\0';
  return true;
}

char GetExePathSeparator() { return '/'; }

size_t FindLastPathSeparator(const std::string& strPath) { return strPath.rfind('/'); }
