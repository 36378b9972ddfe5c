#include "base/system/NamedLock.h"

#include "base/system/RuntimeDir_posix.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Byte 0 of the lock file is the lock itself (write-locked by the holder);
// byte 1 is read-locked by every open object, so that a newcomer can tell
// whether anyone else has the name open (IsCreater).
namespace {

const std::intptr_t kNoFd = -1;
const off_t kLockByte = 0;
const off_t kPresenceByte = 1;

// One open-file-description lock request on one byte; bWait blocks.
int LockByte(int nFd, short nType, off_t nByte, bool bWait) {
  struct flock fl;
  std::memset(&fl, 0, sizeof(fl));
  fl.l_type = nType;
  fl.l_whence = SEEK_SET;
  fl.l_start = nByte;
  fl.l_len = 1;
  fl.l_pid = 0;
  int r;
  do {
    r = ::fcntl(nFd, bWait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
  } while (r != 0 && errno == EINTR);
  return r;
}

long long MonotonicMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(long long nMs) {
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(nMs / 1000);
  ts.tv_nsec = static_cast<long>((nMs % 1000) * 1000000);
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace

CNamedLock::CNamedLock(const char* szName) : m_hLock(kNoFd) { Open(szName); }

CNamedLock::CNamedLock(const char* szName, unsigned long dwTimeoutMs) : m_hLock(kNoFd) {
  Open(szName);
  Acquire(dwTimeoutMs);
}

CNamedLock::~CNamedLock() {
  Release();
  if (m_hLock != kNoFd) ::close(static_cast<int>(m_hLock));
}

void CNamedLock::Open(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return;
  std::string strFile = RuntimeFileName(szName, ".lock");
  if (strFile.size() > 255) return;
  std::string strDir = RuntimeDirectory();
  if (strDir.empty()) return;
  std::string strPath = strDir + "/" + strFile;
  int nFd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (nFd < 0) return;
  struct stat st;
  if (::fstat(nFd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(nFd);
    return;
  }
  m_hLock = nFd;
  // Nobody else has the name open when the presence byte can be write-locked.
  // Turning that lock into a read lock is atomic, so two newcomers cannot
  // both see themselves first.
  m_bCreater = LockByte(nFd, F_WRLCK, kPresenceByte, false) == 0;
  if (m_bCreater) {
    LockByte(nFd, F_RDLCK, kPresenceByte, false);
  } else {
    // A newcomer holds the write lock only for an instant; a failure here
    // costs only the accuracy of other objects' IsCreater.
    for (int i = 0; i < 3 && LockByte(nFd, F_RDLCK, kPresenceByte, false) != 0; ++i) SleepMs(1);
  }
}

bool CNamedLock::IsValid() const { return m_hLock != kNoFd; }

bool CNamedLock::Acquire(unsigned long dwTimeoutMs) {
  if (m_bHeld) return true;
  if (m_hLock == kNoFd) return false;
  int nFd = static_cast<int>(m_hLock);
  if (dwTimeoutMs == TOLVAN_INFINITE) {
    m_bHeld = LockByte(nFd, F_WRLCK, kLockByte, true) == 0;
    return m_bHeld;
  }
  const long long nDeadline = MonotonicMs() + static_cast<long long>(dwTimeoutMs);
  long long nPause = 1;
  for (;;) {
    if (LockByte(nFd, F_WRLCK, kLockByte, false) == 0) {
      m_bHeld = true;
      return true;
    }
    if (errno != EAGAIN && errno != EACCES) return false;
    long long nLeft = nDeadline - MonotonicMs();
    if (nLeft <= 0) return false;
    SleepMs(nPause < nLeft ? nPause : nLeft);
    nPause = nPause * 2 < 10 ? nPause * 2 : 10;
  }
}

void CNamedLock::Release() {
  if (!m_bHeld) return;
  LockByte(static_cast<int>(m_hLock), F_UNLCK, kLockByte, false);
  m_bHeld = false;
}
