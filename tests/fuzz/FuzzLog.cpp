// The process log for the fuzz targets: every line is formatted as the real
// log formats it (so a bad format or argument shows), then dropped.
#include <cstdarg>
#include <cstdio>

#include "base/logging/ProcessLog.h"

void WriteProcessLog(int nSource, unsigned nLevel, const char* szFormat, ...) {
  char szLine[4096];
  int nLen = std::snprintf(szLine, sizeof(szLine), "[%02d:%02u] ", nSource, nLevel);
  if (nLen < 0) return;
  va_list args;
  va_start(args, szFormat);
  std::vsnprintf(szLine + nLen, sizeof(szLine) - static_cast<size_t>(nLen), szFormat, args);
  va_end(args);
}
