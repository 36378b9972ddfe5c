#include "base/system/NamedFlag.h"

#include <windows.h>

namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

CNamedFlag::CNamedFlag(const char* szName, emOpenMode eMode) {
  if (szName == nullptr || szName[0] == '\0') return;
  HANDLE h = nullptr;
  if (eMode == emCreate) {
    h = ::CreateEventA(nullptr, TRUE, FALSE, szName);
    // An event that existed already keeps its state; creation means unset.
    if (h != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) ::ResetEvent(h);
  } else {
    h = ::OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, szName);
  }
  m_hEvent = reinterpret_cast<std::intptr_t>(h);
}

CNamedFlag::~CNamedFlag() {
  if (m_hEvent != 0) ::CloseHandle(AsHandle(m_hEvent));
}

bool CNamedFlag::IsValid() const { return m_hEvent != 0; }

bool CNamedFlag::Set() {
  if (m_hEvent == 0) return false;
  return ::SetEvent(AsHandle(m_hEvent)) != FALSE;
}

bool CNamedFlag::IsSet() const {
  if (m_hEvent == 0) return false;
  return ::WaitForSingleObject(AsHandle(m_hEvent), 0) == WAIT_OBJECT_0;
}

void CNamedFlag::Remove() {}
