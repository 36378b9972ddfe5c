#include "base/system/DebugOutput.h"

#include <windows.h>



bool DebugOutputEnabled() { return true; }

void DebugOutput(const char* szText) {
  if (szText == nullptr) return;
  ::OutputDebugStringA(szText);
}


