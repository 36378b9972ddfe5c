#include "base/threads/BaseThread.h"

#include <windows.h>

#include <type_traits>

static_assert(std::is_same<PThreadRoutine, LPTHREAD_START_ROUTINE>::value,
              "a thread routine must be a Windows thread routine");

// Owns one Windows thread handle.
class CThreadHandle {
public:
  explicit CThreadHandle(HANDLE h) : m_h(h) {}
  ~CThreadHandle() { ::CloseHandle(m_h); }
  CThreadHandle(const CThreadHandle&) = delete;
  CThreadHandle& operator=(const CThreadHandle&) = delete;
  HANDLE m_h;
};

bool CBaseThread::CreatePlatformThread(PThreadRoutine pfnRoutine, void* pArg) {
  DWORD dwId = 0;
  HANDLE h = ::CreateThread(nullptr, m_nStackSize, pfnRoutine, pArg,
                            m_nCreateSuspended != 0 ? CREATE_SUSPENDED : 0, &dwId);
  if (h == nullptr) return false;
  m_dwThreadId = dwId;
  m_hThread = std::make_shared<CThreadHandle>(h);
  if (m_nPriority != 0) ::SetThreadPriority(h, m_nPriority);
  return true;
}

void CBaseThread::Join(unsigned long dwMilliseconds) {
  if (!m_hThread) return;
  ::WaitForSingleObject(m_hThread->m_h, dwMilliseconds);
}

int CBaseThread::Terminate(unsigned long dwExitCode) {
  if (!m_hThread) return 0;
  return ::TerminateThread(m_hThread->m_h, dwExitCode);
}

int CBaseThread::SetPriority(int nPriority) {
  m_nPriority = nPriority;
  if (!m_hThread) return 0;
  return ::SetThreadPriority(m_hThread->m_h, nPriority);
}

unsigned long CBaseThread::Suspend() {
  if (!m_hThread) return 0xFFFFFFFFUL;
  return ::SuspendThread(m_hThread->m_h);
}

unsigned long CBaseThread::Resume() {
  if (!m_hThread) return 0xFFFFFFFFUL;
  return ::ResumeThread(m_hThread->m_h);
}

bool CBaseThread::GetExitCode(unsigned long& dwExitCode) const {
  if (!m_hThread) return false;
  if (::WaitForSingleObject(m_hThread->m_h, 0) != WAIT_OBJECT_0) return false;
  DWORD dwCode = 0;
  if (!::GetExitCodeThread(m_hThread->m_h, &dwCode)) return false;
  dwExitCode = dwCode;
  return true;
}

unsigned long CBaseThread::GetCurrentThreadId() { return ::GetCurrentThreadId(); }

unsigned long CBaseThread::GetCurrentProcessId() { return ::GetCurrentProcessId(); }
