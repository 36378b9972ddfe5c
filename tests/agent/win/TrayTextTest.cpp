// The tray menu's text as a user outside China sees it: the test process runs
// under a code page other than GBK (936), hosts the agent's window and tray
// itself, opens the tray menu as a right click on the icon does, and reads the
// shown menu's item back through the wide-character call.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "agent/AgentHost.h"
#include "tests/agent/win/AgentWindows.h"

namespace {

const ULONGLONG kDeadlineMs = 30000;

// What the timer below saw of the menu while it was open.
struct CMenuSeen {
  int nItems = -1;  // -1 until the menu was seen
  std::wstring strItem;
  ULONGLONG nGiveUpTick = 0;
};
CMenuSeen g_seen;

// Runs inside the menu's modal loop: once the menu is shown, reads its first
// item and closes the menu without a choice. Gives up after the deadline so
// that a menu that never shows cannot hold the test.
void CALLBACK ReadShownMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND hMenuWnd = FindVisibleMenu(::GetCurrentProcessId());
  if (hMenuWnd == nullptr) {
    if (::GetTickCount64() > g_seen.nGiveUpTick) ::EndMenu();
    return;
  }
  if (g_seen.nItems >= 0) return;
  HMENU hMenu = reinterpret_cast<HMENU>(::SendMessageW(hMenuWnd, MN_GETHMENU, 0, 0));
  g_seen.nItems = ::GetMenuItemCount(hMenu);
  wchar_t szItem[64] = {0};
  ::GetMenuStringW(hMenu, 0, szItem, 64, MF_BYPOSITION);
  g_seen.strItem = szItem;
  ::EndMenu();
}

TEST(TrayText, ExitItemReadsAsUtf16OnANonChineseCodePage) {
  if (WineWithoutDisplay()) {
    GTEST_SKIP() << "Wine has no X display here; run the tests under xvfb-run";
  }
  // GBK bytes handed to the ANSI call read right only under code page 936.
  ASSERT_NE(::GetACP(), 936u) << "the test needs a code page other than GBK";

  ASSERT_TRUE(CreateAgentHost());
  std::vector<HWND> vecWindows = FindProcessWindows(kWindowClass, ::GetCurrentProcessId());
  ASSERT_EQ(vecWindows.size(), 1u);
  HWND hWnd = vecWindows[0];

  g_seen = CMenuSeen();
  g_seen.nGiveUpTick = ::GetTickCount64() + kDeadlineMs;
  UINT_PTR nTimer = ::SetTimer(nullptr, 0, 20, ReadShownMenu);
  ASSERT_NE(nTimer, 0u);
  // The right click as the notification area reports it: the agent tracks
  // its menu until the timer closes it.
  ::SendMessageW(hWnd, kTrayCallback, 0, WM_RBUTTONDOWN);
  ::KillTimer(nullptr, nTimer);

  EXPECT_EQ(g_seen.nItems, 1) << "-1: the tray menu was not shown";
  EXPECT_EQ(g_seen.strItem, L"\u9000\u51FA") << "the item reads as another text";
  EXPECT_TRUE(g_bRunning != 0) << "closing the menu without a choice must not end the agent";

  ::DestroyWindow(hWnd);
  DestroyAgentHost();
}

}  // namespace
