#include "tests/agent/win/AgentWindows.h"

#include <shellapi.h>

#include <cstring>
#include <cwchar>

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

bool TrayHasIcon(HWND hWnd, UINT nId) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = hWnd;
  nid.uID = nId;
  return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

bool WineWithoutDisplay() {
  HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
  if (hNtdll == nullptr || ::GetProcAddress(hNtdll, "wine_get_version") == nullptr) return false;
  char szDisplay[8];
  return ::GetEnvironmentVariableA("DISPLAY", szDisplay, sizeof(szDisplay)) == 0;
}

std::unique_ptr<CNamedFlag> FindQuitEvent(uint64_t nFirst, uint64_t nLast) {
  // The newest tick first: the event is made late in the agent's start.
  for (uint64_t n = nLast + 1; n-- > nFirst;) {
    const std::string strName = "vex50_quit_flag" + std::to_string(n);
    auto pFlag = std::make_unique<CNamedFlag>(strName.c_str(), CNamedFlag::emOpenExisting);
    if (pFlag->IsValid()) return pFlag;
  }
  return nullptr;
}

namespace {

const char kTrayClass[] = "Shell_TrayWnd";

// The head of the icon data as Wine's shell sends it to the notification
// area (the icon's bitmap follows).
struct CWineNotifyData {
  LONG hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  WCHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  WCHAR szInfo[256];
  UINT uTimeout;
  WCHAR szInfoTitle[64];
};

}  // namespace

CTrayRecorder::CTrayRecorder() {
  m_hReady = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_thread = std::thread([this] { Run(); });
  ::WaitForSingleObject(m_hReady, INFINITE);
}

CTrayRecorder::~CTrayRecorder() {
  HWND hWnd = m_hWnd.load();
  if (hWnd != nullptr) ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
  m_thread.join();
  ::CloseHandle(m_hReady);
}

void CTrayRecorder::Run() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = kTrayClass;
  ::RegisterClassA(&wc);
  HWND hWnd = ::CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kTrayClass, "", WS_POPUP, 0, 0,
                                0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  if (hWnd != nullptr) ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_hWnd = hWnd;
  ::SetEvent(m_hReady);
  if (hWnd == nullptr) return;
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
  m_hWnd = nullptr;
}

LRESULT CALLBACK CTrayRecorder::WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CTrayRecorder* pSelf =
      reinterpret_cast<CTrayRecorder*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  if (nMsg == WM_COPYDATA && pSelf != nullptr && lParam != 0) {
    return pSelf->OnCall(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  }
  if (nMsg == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
}

LRESULT CTrayRecorder::OnCall(const COPYDATASTRUCT& cds) {
  if (cds.lpData == nullptr || cds.cbData < sizeof(CWineNotifyData)) return FALSE;
  CWineNotifyData data;
  std::memcpy(&data, cds.lpData, sizeof(data));
  const CNamedFlag* pQuit = m_pQuit.load();
  CCall call{static_cast<DWORD>(cds.dwData),
             reinterpret_cast<HWND>(static_cast<ULONG_PTR>(static_cast<ULONG>(data.hWnd))),
             data.uID,
             data.uFlags,
             data.uCallbackMessage,
             std::wstring(data.szTip, wcsnlen(data.szTip, 128)),
             std::wstring(data.szInfo, wcsnlen(data.szInfo, 256)),
             std::wstring(data.szInfoTitle, wcsnlen(data.szInfoTitle, 64)),
             pQuit != nullptr && pQuit->IsSet()};
  std::lock_guard<std::mutex> guard(m_mtx);
  m_vecCalls.push_back(call);
  const std::pair<HWND, UINT> key(call.hOwner, call.nId);
  const bool bKnown = m_setIcons.count(key) != 0;
  if (call.dwCommand == NIM_ADD) return !bKnown && m_setIcons.insert(key).second;
  if (call.dwCommand == NIM_DELETE) m_setIcons.erase(key);
  return call.dwCommand == NIM_DELETE || call.dwCommand == NIM_MODIFY ? bKnown : TRUE;
}

bool CTrayRecorder::IsFrontmost() const {
  HWND hWnd = m_hWnd.load();
  return hWnd != nullptr && ::FindWindowExA(nullptr, nullptr, kTrayClass, nullptr) == hWnd;
}

std::vector<CTrayRecorder::CCall> CTrayRecorder::Calls() const {
  std::lock_guard<std::mutex> guard(m_mtx);
  return m_vecCalls;
}
