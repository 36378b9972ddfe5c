#include "base/system/SingleInstance.h"

#include "base/system/NamedLock.h"

#include <windows.h>

CSingleInstance::CSingleInstance(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return;
  HANDLE h = ::CreateMutexA(nullptr, TRUE, szName);
  if (h == nullptr) return;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(h);
    m_bAnother = true;
    return;
  }
  m_hMutex = h;
  m_bHeld = true;
}

CSingleInstance::~CSingleInstance() {
  if (m_hMutex != nullptr) {
    ::ReleaseMutex(static_cast<HANDLE>(m_hMutex));
    ::CloseHandle(static_cast<HANDLE>(m_hMutex));
  }
}
