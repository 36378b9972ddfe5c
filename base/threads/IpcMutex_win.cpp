#include "base/threads/IpcMutex.h"

#include <windows.h>

#include <cstdio>

// Owns the named event's handle.
class CIpcEvent {
public:
  explicit CIpcEvent(HANDLE h) : m_h(h) {}
  ~CIpcEvent() { ::CloseHandle(m_h); }
  CIpcEvent(const CIpcEvent&) = delete;
  CIpcEvent& operator=(const CIpcEvent&) = delete;
  HANDLE m_h;
};

CIpcMutex::CIpcMutex(int nNumber, bool bFlag) : m_bIsCreater(false), m_bFlag(bFlag) {
  char szName[32];
  std::snprintf(szName, sizeof(szName), "IpcMutex_%d", nNumber);
  HANDLE h = ::CreateEventA(nullptr, FALSE, TRUE, szName);
  m_bIsCreater = ::GetLastError() != ERROR_ALREADY_EXISTS;
  if (h != nullptr) m_hEvent = std::make_unique<CIpcEvent>(h);
}

CIpcMutex::~CIpcMutex() = default;

int CIpcMutex::Lock() const {
  if (m_hEvent) ::WaitForSingleObject(m_hEvent->m_h, INFINITE);
  return 0;
}

int CIpcMutex::Unlock() const {
  if (m_hEvent) ::SetEvent(m_hEvent->m_h);
  return 0;
}
