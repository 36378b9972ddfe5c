#include "base/threads/BaseThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

// The shared record of one thread: held by the CBaseThread (its "handle")
// and by the thread itself, so either may go first.
class CThreadHandle {
public:
  std::mutex m_mtx;
  std::condition_variable m_cv;
  PThreadRoutine m_pfnRoutine = nullptr;
  void* m_pArg = nullptr;
  unsigned long m_dwSuspendCount = 0;  // the thread waits at its gate while > 0
  bool m_bRunning = false;             // past the gate
  bool m_bEnded = false;               // the routine has returned
  unsigned long m_dwExitCode = 0;
  pid_t m_nTid = 0;                    // published by the thread before its gate
  int m_nBaseNice = 0;                 // nice value of the starting thread
  int m_nStartPriority = 0;            // applied before the gate when non-zero
};

namespace {

int NiceDelta(int nPriority) {
  if (nPriority <= -15) return 19;
  if (nPriority >= 15) return -20;
  if (nPriority <= -2) return 10;
  if (nPriority == -1) return 5;
  if (nPriority == 0) return 0;
  if (nPriority == 1) return -5;
  return -10;
}

int ApplyPriority(pid_t nTid, int nBaseNice, int nPriority) {
  int nNice = std::min(19, std::max(-20, nBaseNice + NiceDelta(nPriority)));
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(nTid), nNice) == 0 ? 1 : 0;
}

void* ThreadMain(void* pBox) {
  std::shared_ptr<CThreadHandle> pHandle;
  {
    std::unique_ptr<std::shared_ptr<CThreadHandle>> pOwned(
        static_cast<std::shared_ptr<CThreadHandle>*>(pBox));
    pHandle = *pOwned;
  }
  CThreadHandle& h = *pHandle;
  {
    std::unique_lock<std::mutex> lock(h.m_mtx);
    h.m_nTid = ::gettid();
    if (h.m_nStartPriority != 0) ApplyPriority(h.m_nTid, h.m_nBaseNice, h.m_nStartPriority);
    h.m_cv.notify_all();
    h.m_cv.wait(lock, [&h] { return h.m_dwSuspendCount == 0; });
    h.m_bRunning = true;
  }
  unsigned long dwExitCode = h.m_pfnRoutine(h.m_pArg);
  {
    std::lock_guard<std::mutex> lock(h.m_mtx);
    h.m_bEnded = true;
    h.m_dwExitCode = dwExitCode;
  }
  h.m_cv.notify_all();
  return nullptr;
}

}  // namespace

bool CBaseThread::CreatePlatformThread(PThreadRoutine pfnRoutine, void* pArg) {
  auto pHandle = std::make_shared<CThreadHandle>();
  pHandle->m_pfnRoutine = pfnRoutine;
  pHandle->m_pArg = pArg;
  pHandle->m_dwSuspendCount = m_nCreateSuspended != 0 ? 1 : 0;
  errno = 0;
  int nNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  pHandle->m_nBaseNice = (nNice == -1 && errno != 0) ? 0 : nNice;
  pHandle->m_nStartPriority = m_nPriority;

  // Every thread is detached: Join waits on the record, not on pthread_join,
  // so that the thread's resources go with it whatever the object does.
  pthread_attr_t attr;
  if (::pthread_attr_init(&attr) != 0) return false;
  ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (m_nStackSize != 0) {
    long nPage = ::sysconf(_SC_PAGESIZE);
    size_t nPageSize = nPage > 0 ? static_cast<size_t>(nPage) : 4096;
    size_t nSize =
        std::max(static_cast<size_t>(m_nStackSize), static_cast<size_t>(PTHREAD_STACK_MIN));
    nSize = (nSize + nPageSize - 1) / nPageSize * nPageSize;
    ::pthread_attr_setstacksize(&attr, nSize);  // a refusal keeps the default
  }
  auto pBox = std::make_unique<std::shared_ptr<CThreadHandle>>(pHandle);
  pthread_t tid;
  int rc = ::pthread_create(&tid, &attr, &ThreadMain, pBox.get());
  ::pthread_attr_destroy(&attr);
  if (rc != 0) return false;
  pBox.release();  // the thread owns it now

  {
    std::unique_lock<std::mutex> lock(pHandle->m_mtx);
    pHandle->m_cv.wait(lock, [&pHandle] { return pHandle->m_nTid != 0; });
    m_dwThreadId = static_cast<unsigned long>(pHandle->m_nTid);
  }
  m_hThread = std::move(pHandle);
  return true;
}

void CBaseThread::Join(unsigned long dwMilliseconds) {
  if (!m_hThread) return;
  CThreadHandle& h = *m_hThread;
  std::unique_lock<std::mutex> lock(h.m_mtx);
  if (dwMilliseconds == TOLVAN_INFINITE) {
    h.m_cv.wait(lock, [&h] { return h.m_bEnded; });
  } else {
    h.m_cv.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), [&h] { return h.m_bEnded; });
  }
}

int CBaseThread::Terminate(unsigned long /*dwExitCode*/) {
  // No safe way to end another thread on POSIX: report failure.
  return 0;
}

int CBaseThread::SetPriority(int nPriority) {
  m_nPriority = nPriority;
  if (!m_hThread) return 0;
  CThreadHandle& h = *m_hThread;
  std::lock_guard<std::mutex> lock(h.m_mtx);
  if (h.m_bEnded) return 0;  // its id may already belong to another thread
  return ApplyPriority(h.m_nTid, h.m_nBaseNice, nPriority);
}

unsigned long CBaseThread::Suspend() {
  if (!m_hThread) return 0xFFFFFFFFUL;
  CThreadHandle& h = *m_hThread;
  std::lock_guard<std::mutex> lock(h.m_mtx);
  if (h.m_bRunning || h.m_bEnded) return 0xFFFFFFFFUL;
  return h.m_dwSuspendCount++;
}

unsigned long CBaseThread::Resume() {
  if (!m_hThread) return 0xFFFFFFFFUL;
  CThreadHandle& h = *m_hThread;
  unsigned long dwPrevious;
  {
    std::lock_guard<std::mutex> lock(h.m_mtx);
    dwPrevious = h.m_dwSuspendCount;
    if (h.m_dwSuspendCount > 0) --h.m_dwSuspendCount;
  }
  h.m_cv.notify_all();
  return dwPrevious;
}

bool CBaseThread::GetExitCode(unsigned long& dwExitCode) const {
  if (!m_hThread) return false;
  CThreadHandle& h = *m_hThread;
  std::lock_guard<std::mutex> lock(h.m_mtx);
  if (!h.m_bEnded) return false;
  dwExitCode = h.m_dwExitCode;
  return true;
}

unsigned long CBaseThread::GetCurrentThreadId() { return static_cast<unsigned long>(::gettid()); }

unsigned long CBaseThread::GetCurrentProcessId() { return static_cast<unsigned long>(::getpid()); }
