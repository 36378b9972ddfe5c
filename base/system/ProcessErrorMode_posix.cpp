#include "base/system/ProcessErrorMode.h"

void SuppressCrashDialog() {}
