#include "daemon/ProcessWatch.h"

#include <windows.h>

CProcessWatch::CProcessWatch(unsigned long dwPid) : m_dwPid(dwPid), m_hProcess(-1) {
  HANDLE h = ::OpenProcess(SYNCHRONIZE, FALSE, dwPid);
  if (h == nullptr) {
    m_bEnded = true;
    return;
  }
  m_hProcess = reinterpret_cast<std::intptr_t>(h);
}

CProcessWatch::~CProcessWatch() {
  if (m_hProcess != -1) ::CloseHandle(reinterpret_cast<HANDLE>(m_hProcess));
}

bool CProcessWatch::WaitEnd(unsigned long dwTimeoutMs) {
  if (m_bEnded) return true;
  DWORD dwResult = ::WaitForSingleObject(reinterpret_cast<HANDLE>(m_hProcess), dwTimeoutMs);
  if (dwResult == WAIT_OBJECT_0 || dwResult == WAIT_FAILED) m_bEnded = true;
  return m_bEnded;
}

void DetachFromTerminal() {}

void SleepMilliseconds(unsigned long dwMs) { ::Sleep(dwMs); }
