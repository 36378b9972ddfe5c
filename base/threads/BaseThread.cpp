#include "base/threads/BaseThread.h"

CBaseThread::CBaseThread()
    : m_nPriority(0),
      m_nStackSize(0),
      m_nCreateSuspended(0),
      m_eScope(PThread_Scope_System),
      m_eJoinOrDetach(PThread_Joinable),
      m_pParam(nullptr),
      m_dwThreadId(0) {}

CBaseThread::CBaseThread(int nPriority, unsigned nStackSize, int nCreateSuspended,
                         PThread_Scope eScope, PThread_JoinOrDetach eJoinOrDetach)
    : m_nPriority(nPriority),
      m_nStackSize(nStackSize),
      m_nCreateSuspended(nCreateSuspended),
      m_eScope(eScope),
      m_eJoinOrDetach(eJoinOrDetach),
      m_pParam(nullptr),
      m_dwThreadId(0) {}

CBaseThread::~CBaseThread() = default;

bool CBaseThread::Start(PThreadRoutine pfnRoutine, void* pArg, int nPriority, unsigned nStackSize,
                        int nCreateSuspended, PThread_Scope eScope,
                        PThread_JoinOrDetach eJoinOrDetach) {
  m_nPriority = nPriority;
  m_nStackSize = nStackSize;
  m_nCreateSuspended = nCreateSuspended;
  m_eScope = eScope;
  m_eJoinOrDetach = eJoinOrDetach;
  if (m_hThread) {
    m_hThread.reset();
    m_dwThreadId = 0;
  }
  if (pfnRoutine == nullptr) return false;
  return CreatePlatformThread(pfnRoutine, pArg);
}

bool CBaseThread::Start(void* pParam) {
  m_pParam = pParam;
  return Start(&CBaseThread::s_ThreadProc, this, m_nPriority, m_nStackSize, m_nCreateSuspended,
               m_eScope, m_eJoinOrDetach);
}

int CBaseThread::SetDetach() {
  m_hThread.reset();
  return 0;
}

bool CBaseThread::OnThreadStart() { return true; }

void CBaseThread::Execute() {}

void CBaseThread::OnThreadEnd() {}

unsigned long CBaseThread::s_ThreadProc(void* pSelf) {
  CBaseThread* pThread = static_cast<CBaseThread*>(pSelf);
  if (!pThread->OnThreadStart()) return static_cast<unsigned long>(-1);
  pThread->Execute();
  pThread->OnThreadEnd();
  return 0;
}
