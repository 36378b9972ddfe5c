#include "http/ProcessErrorMode.h"

void SuppressCrashDialog() {}
