#include "base/system/NamedLock.h"

#include <windows.h>

// The Windows form: a named auto-reset event that starts signalled. Waiting
// on it takes the single "token"; SetEvent puts it back.
namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

CNamedLock::CNamedLock(const char* szName) : m_hLock(0) { Open(szName); }

CNamedLock::CNamedLock(const char* szName, unsigned long dwTimeoutMs) : m_hLock(0) {
  Open(szName);
  Acquire(dwTimeoutMs);
}

CNamedLock::~CNamedLock() {
  Release();
  if (m_hLock != 0) ::CloseHandle(AsHandle(m_hLock));
}

void CNamedLock::Open(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return;
  if (::lstrlenA(szName) >= MAX_PATH) return;
  HANDLE h = ::CreateEventA(nullptr, FALSE, TRUE, szName);
  if (h == nullptr) return;
  m_bCreater = ::GetLastError() != ERROR_ALREADY_EXISTS;
  m_hLock = reinterpret_cast<std::intptr_t>(h);
}

bool CNamedLock::IsValid() const { return m_hLock != 0; }

bool CNamedLock::Acquire(unsigned long dwTimeoutMs) {
  if (m_bHeld) return true;
  if (m_hLock == 0) return false;
  m_bHeld = ::WaitForSingleObject(AsHandle(m_hLock), dwTimeoutMs) == WAIT_OBJECT_0;
  return m_bHeld;
}

void CNamedLock::Release() {
  if (!m_bHeld) return;
  ::SetEvent(AsHandle(m_hLock));
  m_bHeld = false;
}
