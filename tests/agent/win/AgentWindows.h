#pragma once

// What a test can see of the agent's windows from outside on Windows.

#include <windows.h>

#include <vector>

// The agent's window class (also its title) and its tray icon's message.
const char kWindowClass[] = "Kaltor Client 5.0";
const UINT kTrayCallback = WM_USER;

// The top-level windows of class szClass that belong to process dwPid
// (every process when dwPid is 0), visible or not.
std::vector<HWND> FindProcessWindows(const char* szClass, DWORD dwPid);

// The one visible popup menu window ("#32768") of process dwPid; null when
// there is none.
HWND FindVisibleMenu(DWORD dwPid);

// True when the test runs under Wine without an X display, where no window
// can be shown.
bool WineWithoutDisplay();
