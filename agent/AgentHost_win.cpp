#include "agent/AgentHost.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "agent/DaemonLauncher.h"

volatile std::sig_atomic_t g_bRunning = 1;

namespace {

// Display title: window class and title, tray tip, balloon title, captions.
const char kTitle[] = "Kaltor Client 5.0";
// "退出" ("exit"), in UTF-16 for the wide-character menu call, so that it
// reads the same whatever the system's ANSI code page is.
const wchar_t kExitItem[] = L"\u9000\u51FA";
const UINT kTrayMessage = WM_USER;
const UINT_PTR kExitItemId = 1;
const int kTrayIconResource = 102;

NOTIFYICONDATAA g_nid;
HMENU g_hTrayMenu = nullptr;
HWND g_hWnd = nullptr;
bool g_bIconShown = false;

void CopyText(char* szDest, size_t nSize, const char* szSrc) {
  std::strncpy(szDest, szSrc, nSize - 1);
  szDest[nSize - 1] = '\0';
}

void AddTrayIcon(HWND hWnd) {
  std::memset(&g_nid, 0, sizeof(g_nid));
  g_nid.cbSize = sizeof(NOTIFYICONDATAA);
  g_nid.hWnd = hWnd;
  g_nid.uID = 0;
  g_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
  g_nid.uCallbackMessage = kTrayMessage;
  g_nid.uTimeout = 3;
  g_nid.dwInfoFlags = NIIF_INFO;
  g_nid.hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kTrayIconResource));
  CopyText(g_nid.szTip, sizeof(g_nid.szTip), kTitle);
  // An add refused because the icon is still there (a "TaskbarCreated" that
  // did not lose it) leaves it shown: it must still be deleted at the end.
  if (::Shell_NotifyIconA(NIM_ADD, &g_nid)) g_bIconShown = true;
  if (g_hTrayMenu == nullptr) {
    g_hTrayMenu = ::CreatePopupMenu();
    ::AppendMenuW(g_hTrayMenu, MF_STRING, kExitItemId, kExitItem);
  }
  ::ShowWindow(hWnd, SW_SHOW);
}

void RemoveTrayIcon() {
  if (!g_bIconShown) return;
  ::Shell_NotifyIconA(NIM_DELETE, &g_nid);
  g_bIconShown = false;
}

void ShowBalloon() {
  CopyText(g_nid.szInfo, sizeof(g_nid.szInfo), "The Running!");
  CopyText(g_nid.szInfoTitle, sizeof(g_nid.szInfoTitle), kTitle);
  g_nid.uTimeout = 2;
  ::Shell_NotifyIconA(NIM_MODIFY, &g_nid);
}

// The way out that the tray menu's exit item takes: the watchdog must let
// the agent go, so the quit event is set before anything else is taken down;
// then the icon goes, the loop gets its quit message and its flag cleared.
void ExitFromTray() {
  SetQuitEvent();
  RemoveTrayIcon();
  ::PostQuitMessage(0);
  g_bRunning = 0;
}

void ShowTrayMenu(HWND hWnd) {
  POINT pt = {0, 0};
  ::GetCursorPos(&pt);
  ::SetForegroundWindow(hWnd);
  UINT_PTR nChosen = static_cast<UINT_PTR>(
      ::TrackPopupMenu(g_hTrayMenu, TPM_RETURNCMD, pt.x, pt.y, 0, hWnd, nullptr));
  if (nChosen == kExitItemId) ExitFromTray();
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  static UINT s_nTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
  switch (nMsg) {
    case WM_CREATE:
      AddTrayIcon(hWnd);
      break;
    case WM_DESTROY:
      RemoveTrayIcon();
      ::PostQuitMessage(0);
      break;
    case kAgentExitMessage:
      // Another program (the uninstaller) ends the agent as the user would.
      ExitFromTray();
      break;
    case kTrayMessage:
      if (lParam == WM_LBUTTONDOWN) {
        ShowBalloon();
      } else if (lParam == WM_RBUTTONDOWN) {
        ShowTrayMenu(hWnd);
      }
      break;
    default:
      if (nMsg == s_nTaskbarCreated && s_nTaskbarCreated != 0) {
        // Explorer restarted: the icon is gone and is added again.
        ::SendMessageA(hWnd, WM_CREATE, wParam, lParam);
      }
      break;
  }
  return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
}

void __cdecl OnSignal(int) { g_bRunning = 0; }

}  // namespace

bool CreateAgentHost() {
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof(wc));
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WndProc;
  wc.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kTitle;
  if (::RegisterClassA(&wc) == 0) {
    ::MessageBoxA(nullptr, "This program requires Windows NT!", kTitle, MB_ICONHAND);
    return false;
  }
  g_hWnd = ::CreateWindowExA(WS_EX_TOOLWINDOW, kTitle, kTitle, WS_POPUP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                             nullptr, nullptr);
  if (g_hWnd != nullptr) ::UpdateWindow(g_hWnd);
  return true;
}

void InstallStopSignals() {
  std::signal(SIGABRT, OnSignal);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
}

void RunAgentLoop() {
  while (g_bRunning) {
    ::Sleep(200);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

void DestroyAgentHost() {
  RemoveTrayIcon();
  if (g_hTrayMenu != nullptr) {
    ::DestroyMenu(g_hTrayMenu);
    g_hTrayMenu = nullptr;
  }
}
