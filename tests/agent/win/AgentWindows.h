#pragma once

// What a test can see of a running agent from outside on Windows: its
// top-level windows, its tray icon as the notification area knows it, and
// its quit event.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/system/NamedFlag.h"

// The agent's window class (also its title) and its tray icon's message.
const char kWindowClass[] = "Kaltor Client 5.0";
const UINT kTrayCallback = WM_USER;

// The top-level windows of class szClass that belong to process dwPid
// (every process when dwPid is 0), visible or not.
std::vector<HWND> FindProcessWindows(const char* szClass, DWORD dwPid);

// The one visible popup menu window ("#32768") of process dwPid; null when
// there is none.
HWND FindVisibleMenu(DWORD dwPid);

// True when the notification area holds an icon (hWnd, nId): it accepts a
// modification of that icon which changes nothing.
bool TrayHasIcon(HWND hWnd, UINT nId);

// True when the test runs under Wine without an X display, where no window
// can be shown.
bool WineWithoutDisplay();

// The agent's quit event, named "vex50_quit_flag" and the tick count of its
// creation, knowing that it was created between the ticks nFirst and nLast;
// null when no such event exists.
std::unique_ptr<CNamedFlag> FindQuitEvent(uint64_t nFirst, uint64_t nLast);

// A notification area of the test's own: a "Shell_TrayWnd" window above the
// desktop's, which gets the icon calls (in the form Wine's shell sends them)
// of programs started after it. It keeps the icons as the shell does and
// records every call, with the state of a quit event when it came in.
class CTrayRecorder {
 public:
  struct CCall {
    DWORD dwCommand;  // NIM_ADD, NIM_MODIFY, NIM_DELETE, ...
    HWND hOwner;
    UINT nId;
    UINT nFlags;  // NIF_*
    UINT nCallbackMessage;
    std::wstring strTip;
    std::wstring strInfo;       // balloon text
    std::wstring strInfoTitle;  // balloon title
    bool bQuitSet;  // the quit event (SetQuitProbe) was set when it came
  };

  CTrayRecorder();
  ~CTrayRecorder();
  CTrayRecorder(const CTrayRecorder&) = delete;
  CTrayRecorder& operator=(const CTrayRecorder&) = delete;

  // True when the window exists and is the one the shell's calls find.
  bool IsFrontmost() const;
  // The event whose state each later call records.
  void SetQuitProbe(const CNamedFlag* pProbe) { m_pQuit = pProbe; }
  std::vector<CCall> Calls() const;

 private:
  static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
  void Run();
  LRESULT OnCall(const COPYDATASTRUCT& cds);

  std::thread m_thread;
  std::atomic<HWND> m_hWnd{nullptr};
  HANDLE m_hReady = nullptr;
  std::atomic<const CNamedFlag*> m_pQuit{nullptr};
  mutable std::mutex m_mtx;
  std::vector<CCall> m_vecCalls;
  std::set<std::pair<HWND, UINT>> m_setIcons;
};
