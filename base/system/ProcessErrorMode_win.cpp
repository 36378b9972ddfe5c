#include "base/system/ProcessErrorMode.h"

#include <windows.h>

void SuppressCrashDialog() {
  const UINT nMode = SetErrorMode(0);
  SetErrorMode(nMode | SEM_NOGPFAULTERRORBOX);
}
