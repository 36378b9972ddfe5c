#include "base/threads/IpcMutex.h"

#include "base/system/NamedLock.h"

#include <cstdio>
#include <mutex>
#include <string>

class CIpcEvent {
public:
  explicit CIpcEvent(const char* szName) : m_strName(szName), m_Presence(szName) {}

  std::string m_strName;
  CNamedLock m_Presence;  // keeps the name open; never taken
  std::mutex m_mtx;
  std::unique_ptr<CNamedLock> m_pHeld;  // the taken lock, on its own descriptor
};

CIpcMutex::CIpcMutex(int nNumber, bool bFlag) : m_bIsCreater(false), m_bFlag(bFlag) {
  char szName[32];
  std::snprintf(szName, sizeof(szName), "IpcMutex_%d", nNumber);
  auto pEvent = std::make_unique<CIpcEvent>(szName);
  if (!pEvent->m_Presence.IsValid()) return;
  m_bIsCreater = pEvent->m_Presence.IsCreater();
  m_hEvent = std::move(pEvent);
}

CIpcMutex::~CIpcMutex() = default;

int CIpcMutex::Lock() const {
  if (!m_hEvent) return 0;
  // Each Lock takes the lock on a descriptor of its own, so a second Lock,
  // from this object too, waits until the first is unlocked.
  auto pLock = std::make_unique<CNamedLock>(m_hEvent->m_strName.c_str());
  if (!pLock->Acquire(TOLVAN_INFINITE)) return 0;
  std::lock_guard<std::mutex> guard(m_hEvent->m_mtx);
  m_hEvent->m_pHeld = std::move(pLock);
  return 0;
}

int CIpcMutex::Unlock() const {
  if (!m_hEvent) return 0;
  std::unique_ptr<CNamedLock> pHeld;
  {
    std::lock_guard<std::mutex> guard(m_hEvent->m_mtx);
    pHeld = std::move(m_hEvent->m_pHeld);
  }
  return 0;  // pHeld's destructor frees the lock
}
