// The system's gettimeofday serves on POSIX; nothing to define here.
#include "base/system/TimeOfDay.h"
