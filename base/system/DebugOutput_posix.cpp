#include "base/system/DebugOutput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>



bool DebugOutputEnabled() {
  // Read each time: tests and the daemon set it after the process started.
  return std::getenv("TOLVAN_DEBUG_OUTPUT") != nullptr;
}

void DebugOutput(const char* szText) {
  if (szText == nullptr || !DebugOutputEnabled()) return;
  // One write per string, with its line end, so lines from threads do not mix.
  size_t nLen = std::strlen(szText);
  bool bNewline = nLen == 0 || szText[nLen - 1] != '\n';
  if (!bNewline) {
    ssize_t r = ::write(STDERR_FILENO, szText, nLen);
    (void)r;
    return;
  }
  char szSmall[1024];
  if (nLen + 1 <= sizeof(szSmall)) {
    std::memcpy(szSmall, szText, nLen);
    szSmall[nLen] = '\n';
    ssize_t r = ::write(STDERR_FILENO, szSmall, nLen + 1);
    (void)r;
  } else {
    std::fprintf(stderr, "%s\n", szText);
  }
}


