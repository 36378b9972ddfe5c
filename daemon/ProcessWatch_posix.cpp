#include "daemon/ProcessWatch.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

bool ProcessExists(unsigned long dwPid) {
  return ::kill(static_cast<pid_t>(dwPid), 0) == 0 || errno == EPERM;
}

}  // namespace

CProcessWatch::CProcessWatch(unsigned long dwPid) : m_dwPid(dwPid), m_hProcess(-1) {
  if (dwPid == 0) {
    m_bEnded = true;
    return;
  }
#ifdef SYS_pidfd_open
  long nFd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(dwPid), 0);
  if (nFd >= 0) {
    m_hProcess = nFd;
    return;
  }
  if (errno == ESRCH) m_bEnded = true;
#else
  if (!ProcessExists(dwPid)) m_bEnded = true;
#endif
}

CProcessWatch::~CProcessWatch() {
  if (m_hProcess >= 0) ::close(static_cast<int>(m_hProcess));
}

bool CProcessWatch::WaitEnd(unsigned long dwTimeoutMs) {
  if (m_bEnded) return true;
  if (m_hProcess >= 0) {
    struct pollfd pfd = {static_cast<int>(m_hProcess), POLLIN, 0};
    int nTimeout = dwTimeoutMs > 0x7FFFFFFFUL ? -1 : static_cast<int>(dwTimeoutMs);
    int nReady = ::poll(&pfd, 1, nTimeout);
    if (nReady > 0) m_bEnded = true;
    return m_bEnded;
  }
  // No pidfd: probe every 20 ms until the time-out.
  unsigned long dwWaited = 0;
  for (;;) {
    if (!ProcessExists(m_dwPid)) {
      m_bEnded = true;
      return true;
    }
    if (dwWaited >= dwTimeoutMs) return false;
    SleepMilliseconds(20);
    dwWaited += 20;
  }
}

void DetachFromTerminal() {
  ::setsid();
  int nNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (nNull < 0) return;
  ::dup2(nNull, STDIN_FILENO);
  ::dup2(nNull, STDOUT_FILENO);
  ::dup2(nNull, STDERR_FILENO);
  if (nNull > STDERR_FILENO) ::close(nNull);
}

void SleepMilliseconds(unsigned long dwMs) {
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(dwMs / 1000);
  ts.tv_nsec = static_cast<long>(dwMs % 1000) * 1000000L;
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
