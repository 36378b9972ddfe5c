#include "base/system/Process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const std::intptr_t kNoFd = -1;

void CloseFd(std::intptr_t& hFd) {
  if (hFd != kNoFd) {
    ::close(static_cast<int>(hFd));
    hFd = kNoFd;
  }
}

long long MonotonicMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

unsigned long ExitCodeOf(int nStatus) {
  if (WIFEXITED(nStatus)) return static_cast<unsigned long>(WEXITSTATUS(nStatus));
  if (WIFSIGNALED(nStatus)) return 128UL + static_cast<unsigned long>(WTERMSIG(nStatus));
  return static_cast<unsigned long>(-1);
}

// A descriptor that becomes readable when the process ends, or -1 where the
// kernel offers none (the caller then polls).
int OpenPidFd(pid_t nPid) {
#ifdef SYS_pidfd_open
  long r = ::syscall(SYS_pidfd_open, nPid, 0);
  if (r >= 0) {
    int nFd = static_cast<int>(r);
    ::fcntl(nFd, F_SETFD, FD_CLOEXEC);
    return nFd;
  }
#else
  (void)nPid;
#endif
  return -1;
}

}  // namespace

CProcess::CProcess() : m_hStdinWrite(kNoFd), m_hStdoutRead(kNoFd) {}

void CProcess::ReleaseChild() {
  CloseFd(m_hStdinWrite);
  CloseFd(m_hStdoutRead);
  if (m_dwPid != 0 && !m_bEnded) {
    pid_t nPid = static_cast<pid_t>(m_dwPid);
    int nStatus = 0;
    pid_t r;
    do {
      r = ::waitpid(nPid, &nStatus, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
      // Still running: reap it whenever it ends so that it leaves no zombie.
      std::thread([nPid] {
        int nEndStatus = 0;
        while (::waitpid(nPid, &nEndStatus, 0) < 0 && errno == EINTR) {
        }
      }).detach();
    }
  }
}

bool CProcess::SpawnChild(const char* szPath, const std::vector<std::string>& vecArgs,
                          const std::vector<std::string>* pvecEnv, int nPipes) {
  std::vector<char*> vecArgv;
  if (vecArgs.empty()) {
    vecArgv.push_back(const_cast<char*>(szPath));
  } else {
    for (const std::string& s : vecArgs) vecArgv.push_back(const_cast<char*>(s.c_str()));
  }
  vecArgv.push_back(nullptr);

  std::vector<char*> vecEnvp;
  char** ppEnv = environ;
  if (pvecEnv != nullptr) {
    for (const std::string& s : *pvecEnv) vecEnvp.push_back(const_cast<char*>(s.c_str()));
    vecEnvp.push_back(nullptr);
    ppEnv = vecEnvp.data();
  }

  // Pipes are close-on-exec, so that a child started at the same time by
  // another thread does not keep one open; dup2 in the child clears the flag.
  int aStdin[2] = {-1, -1};
  int aStdout[2] = {-1, -1};
  auto closeAll = [&] {
    for (int nFd : {aStdin[0], aStdin[1], aStdout[0], aStdout[1]}) {
      if (nFd >= 0) ::close(nFd);
    }
  };
  if (((nPipes & emPipeStdin) != 0 && ::pipe2(aStdin, O_CLOEXEC) != 0) ||
      ((nPipes & emPipeStdout) != 0 && ::pipe2(aStdout, O_CLOEXEC) != 0)) {
    closeAll();
    return false;
  }

  posix_spawn_file_actions_t fa;
  if (::posix_spawn_file_actions_init(&fa) != 0) {
    closeAll();
    return false;
  }
  int rc = 0;
  if (aStdin[0] >= 0) rc = ::posix_spawn_file_actions_adddup2(&fa, aStdin[0], STDIN_FILENO);
  if (rc == 0 && aStdout[1] >= 0) {
    rc = ::posix_spawn_file_actions_adddup2(&fa, aStdout[1], STDOUT_FILENO);
  }
  if ((nPipes & emNoStdHandles) != 0) {
    if (rc == 0 && aStdin[0] < 0) {
      rc = ::posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (rc == 0 && aStdout[1] < 0) {
      rc = ::posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (rc == 0) {
      rc = ::posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
  }
  pid_t nPid = 0;
  if (rc == 0) rc = ::posix_spawn(&nPid, szPath, &fa, nullptr, vecArgv.data(), ppEnv);
  ::posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) {
    closeAll();
    return false;
  }

  if (aStdin[0] >= 0) ::close(aStdin[0]);
  if (aStdout[1] >= 0) ::close(aStdout[1]);
  m_hStdinWrite = aStdin[1];
  m_hStdoutRead = aStdout[0];
  m_dwPid = static_cast<unsigned long>(nPid);
  return true;
}

bool CProcess::Wait(unsigned long dwTimeoutMs) {
  if (m_bEnded) return true;
  if (m_dwPid == 0) return false;
  pid_t nPid = static_cast<pid_t>(m_dwPid);
  int nStatus = 0;
  auto reap = [&](int nFlags) {
    pid_t r;
    do {
      r = ::waitpid(nPid, &nStatus, nFlags);
    } while (r < 0 && errno == EINTR);
    if (r == nPid) {
      m_bEnded = true;
      m_dwExitCode = ExitCodeOf(nStatus);
    }
    return r;
  };

  if (dwTimeoutMs == TOLVAN_INFINITE) return reap(0) == nPid;
  if (reap(WNOHANG) != 0) return m_bEnded;

  const long long nDeadline = MonotonicMs() + static_cast<long long>(dwTimeoutMs);
  int nPidFd = OpenPidFd(nPid);
  long long nPause = 1;
  for (;;) {
    long long nLeft = nDeadline - MonotonicMs();
    if (nLeft <= 0) break;
    if (nPidFd >= 0) {
      struct pollfd pfd = {nPidFd, POLLIN, 0};
      int nSlice = nLeft > 1000000 ? 1000000 : static_cast<int>(nLeft);
      ::poll(&pfd, 1, nSlice);
    } else {
      struct timespec ts = {0, static_cast<long>((nPause < nLeft ? nPause : nLeft) * 1000000)};
      ::nanosleep(&ts, nullptr);
      nPause = nPause * 2 < 10 ? nPause * 2 : 10;
    }
    if (reap(WNOHANG) != 0) break;
  }
  if (nPidFd >= 0) ::close(nPidFd);
  if (!m_bEnded) reap(WNOHANG);
  return m_bEnded;
}

bool CProcess::Kill() {
  if (m_dwPid == 0 || m_bEnded) return false;
  // The child is not reaped yet, so its pid cannot have been reused.
  return ::kill(static_cast<pid_t>(m_dwPid), SIGKILL) == 0;
}

long CProcess::ReadRaw(void* pBuf, unsigned long nLen) {
  if (m_hStdoutRead == kNoFd || pBuf == nullptr) return -1;
  ssize_t r;
  do {
    r = ::read(static_cast<int>(m_hStdoutRead), pBuf, nLen);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : static_cast<long>(r);
}

void CProcess::CloseInput() { CloseFd(m_hStdinWrite); }

unsigned long GetCurrentPid() { return static_cast<unsigned long>(::getpid()); }

bool GetEnvVar(const char* szName, std::string& strValue) {
  if (szName == nullptr || szName[0] == '\0') return false;
  const char* szValue = std::getenv(szName);
  if (szValue == nullptr) return false;
  strValue = szValue;
  return true;
}

bool SetEnvVar(const char* szName, const char* szValue) {
  if (szName == nullptr || szName[0] == '\0' || std::strchr(szName, '=') != nullptr) return false;
  if (szValue == nullptr) return ::unsetenv(szName) == 0;
  return ::setenv(szName, szValue, 1) == 0;
}

std::vector<std::string> GetProcessEnvironment() {
  std::vector<std::string> vecEnv;
  for (char** pp = environ; pp != nullptr && *pp != nullptr; ++pp) vecEnv.emplace_back(*pp);
  return vecEnv;
}
