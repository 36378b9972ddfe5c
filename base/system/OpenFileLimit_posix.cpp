#include "base/system/OpenFileLimit.h"

#include <climits>

#include <sys/resource.h>

long RaiseOpenFileLimit() {
  struct rlimit lim = {};
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return -1;
  if (lim.rlim_cur < lim.rlim_max) {
    struct rlimit raised = lim;
    raised.rlim_cur = lim.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
  }
  if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > static_cast<rlim_t>(LONG_MAX)) {
    return LONG_MAX;
  }
  return static_cast<long>(lim.rlim_cur);
}
