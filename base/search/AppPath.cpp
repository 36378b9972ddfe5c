#include "base/search/AppPath.h"

#include "base/system/ExePath.h"

#include <cstring>

bool GetAppPath(char* szBuffer, int nSize) {
  if (!GetExePath(szBuffer, nSize)) return false;
  char* pLast = std::strrchr(szBuffer, GetExePathSeparator());
  if (pLast == nullptr) {
    // A full file name always has a directory part; without one there is no
    // directory to give.
    szBuffer[0] = '\0';
    return false;
  }
  *pLast = '\0';
  return true;
}
