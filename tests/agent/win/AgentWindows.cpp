#include "tests/agent/win/AgentWindows.h"

std::vector<HWND> FindProcessWindows(const char* szClass, DWORD dwPid) {
  std::vector<HWND> vecFound;
  HWND hWnd = nullptr;
  while ((hWnd = ::FindWindowExA(nullptr, hWnd, szClass, nullptr)) != nullptr) {
    DWORD dwOwner = 0;
    ::GetWindowThreadProcessId(hWnd, &dwOwner);
    if (dwPid == 0 || dwOwner == dwPid) vecFound.push_back(hWnd);
  }
  return vecFound;
}

HWND FindVisibleMenu(DWORD dwPid) {
  for (HWND hWnd : FindProcessWindows("#32768", dwPid)) {
    if (::IsWindowVisible(hWnd)) return hWnd;
  }
  return nullptr;
}

bool WineWithoutDisplay() {
  HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
  if (hNtdll == nullptr || ::GetProcAddress(hNtdll, "wine_get_version") == nullptr) return false;
  char szDisplay[8];
  return ::GetEnvironmentVariableA("DISPLAY", szDisplay, sizeof(szDisplay)) == 0;
}
