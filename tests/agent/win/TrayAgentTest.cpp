// The agent's window, tray icon and tray menu, seen from outside as the
// desktop sees them (or by a notification area of the test's own), driven by
// messages.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "agent/AgentHost.h"
#include "base/system/NamedFlag.h"
#include "tests/agent/AgentInstall.h"
#include "tests/agent/win/AgentWindows.h"

namespace {

const UINT kIconId = 0;
const unsigned kDeadlineMs = 30000;
const char kTrayClass[] = "Shell_TrayWnd";

// True when the notification area holds an icon (hWnd, nId): it accepts a
// modification of that icon which changes nothing.
bool TrayHasIcon(HWND hWnd, UINT nId) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = hWnd;
  nid.uID = nId;
  return ::Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

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

  CTrayRecorder() {
    m_hReady = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this] { Run(); });
    ::WaitForSingleObject(m_hReady, INFINITE);
  }
  ~CTrayRecorder() {
    HWND hWnd = m_hWnd.load();
    if (hWnd != nullptr) ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
    m_thread.join();
    ::CloseHandle(m_hReady);
  }
  CTrayRecorder(const CTrayRecorder&) = delete;
  CTrayRecorder& operator=(const CTrayRecorder&) = delete;

  // True when the window exists and is the one the shell's calls find.
  bool IsFrontmost() const {
    HWND hWnd = m_hWnd.load();
    return hWnd != nullptr && ::FindWindowExA(nullptr, nullptr, kTrayClass, nullptr) == hWnd;
  }
  // The event whose state each later call records.
  void SetQuitProbe(const CNamedFlag* pProbe) { m_pQuit = pProbe; }
  std::vector<CCall> Calls() const {
    std::lock_guard<std::mutex> guard(m_mtx);
    return m_vecCalls;
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    auto* pSelf = reinterpret_cast<CTrayRecorder*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (nMsg == WM_COPYDATA && pSelf != nullptr && lParam != 0) {
      return pSelf->OnCall(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    }
    if (nMsg == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
  }

  void Run() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kTrayClass;
    ::RegisterClassA(&wc);
    HWND hWnd = ::CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kTrayClass, "", WS_POPUP, 0,
                                  0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    if (hWnd != nullptr) ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_hWnd = hWnd;
    ::SetEvent(m_hReady);
    if (hWnd == nullptr) return;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    m_hWnd = nullptr;
  }

  LRESULT OnCall(const COPYDATASTRUCT& cds) {
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

  std::thread m_thread;
  std::atomic<HWND> m_hWnd{nullptr};
  HANDLE m_hReady = nullptr;
  std::atomic<const CNamedFlag*> m_pQuit{nullptr};
  mutable std::mutex m_mtx;
  std::vector<CCall> m_vecCalls;
  std::set<std::pair<HWND, UINT>> m_setIcons;
};

// The first call of the given command to the recorder whose flags hold
// nFlags; the test's own probes carry no flags.
bool FindTrayCall(const CTrayRecorder& tray, DWORD dwCommand, UINT nFlags,
                  CTrayRecorder::CCall& found) {
  for (const CTrayRecorder::CCall& call : tray.Calls()) {
    if (call.dwCommand == dwCommand && (call.nFlags & nFlags) == nFlags) {
      found = call;
      return true;
    }
  }
  return false;
}

class TrayAgent : public CAgentInstall {
 protected:
  void SetUp() override {
    if (WineWithoutDisplay()) {
      GTEST_SKIP() << "Wine has no X display here; run the tests under xvfb-run";
    }
    CAgentInstall::SetUp();
    NoRestarts();
  }

  void TearDown() override {
    if (m_agent.GetPid() == 0 || m_agent.Wait(0)) return;
    m_agent.Kill();
    m_agent.Wait(kDeadlineMs);
    // Let the watchdog finish with the log before the directory goes.
    DaemonSays("giving up", kDeadlineMs);
  }

  // Starts the agent and waits for its window; null when none appeared.
  HWND StartAgent() {
    m_nStartTick = ::GetTickCount64();
    if (!m_agent.Start(m_strAgent.c_str(), {m_strAgent}, &m_vecEnv)) return nullptr;
    HWND hWnd = nullptr;
    WaitUntil(
        [&] {
          std::vector<HWND> vecWindows = FindProcessWindows(kWindowClass, m_agent.GetPid());
          if (vecWindows.size() == 1) hWnd = vecWindows[0];
          return hWnd != nullptr || m_agent.Wait(0);
        },
        kDeadlineMs);
    return hWnd;
  }

  // Waits for the watchdog to watch the agent, then finds the agent's quit
  // event, made before the watchdog started: "vex50_quit_flag" and the tick
  // count of its creation, the newest tick first (it comes late in the start).
  std::unique_ptr<CNamedFlag> FindAgentQuitEvent() {
    if (!DaemonSays("watching process", kDeadlineMs)) return nullptr;
    for (ULONGLONG n = ::GetTickCount64() + 1; n-- > m_nStartTick;) {
      const std::string strName = "vex50_quit_flag" + std::to_string(n);
      auto pFlag = std::make_unique<CNamedFlag>(strName.c_str(), CNamedFlag::emOpenExisting);
      if (pFlag->IsValid()) return pFlag;
    }
    return nullptr;
  }

  // Clicks the tray icon with the right button, as the notification area
  // reports it, and waits for the agent's popup menu.
  HWND OpenTrayMenu(HWND hWnd) {
    if (!::PostMessageA(hWnd, kTrayCallback, kIconId, WM_RBUTTONDOWN)) return nullptr;
    HWND hMenu = nullptr;
    WaitUntil([&] { return (hMenu = FindVisibleMenu(m_agent.GetPid())) != nullptr; }, kDeadlineMs);
    return hMenu;
  }

  CProcess m_agent;
  ULONGLONG m_nStartTick = 0;
};

// A second copy leaves at once; the icon comes back with the taskbar and goes
// with the window while the agent serves on.
TEST_F(TrayAgent, HiddenToolWindowOwnsTheTrayIconWhileTheAgentServes) {
  HWND hWnd = StartAgent();
  ASSERT_NE(hWnd, nullptr) << "no window of class \"" << kWindowClass << "\"\n" << AgentLog();

  char szTitle[64] = {0};
  ::GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
  EXPECT_STREQ(szTitle, kWindowClass);
  LONG_PTR nStyle = ::GetWindowLongPtrA(hWnd, GWL_STYLE);
  LONG_PTR nExStyle = ::GetWindowLongPtrA(hWnd, GWL_EXSTYLE);
  EXPECT_NE(nStyle & WS_POPUP, 0);
  EXPECT_EQ(nStyle & WS_CAPTION, 0);
  EXPECT_NE(nExStyle & WS_EX_TOOLWINDOW, 0);
  RECT rc{};
  ASSERT_TRUE(::GetWindowRect(hWnd, &rc));
  EXPECT_TRUE(rc.right <= rc.left || rc.bottom <= rc.top) << "the window is not hidden";

  ASSERT_TRUE(WaitUntil([&] { return TrayHasIcon(hWnd, kIconId); }, kDeadlineMs))
      << "the notification area has no icon of the agent's window";
  EXPECT_FALSE(TrayHasIcon(hWnd, kIconId + 1));
  ASSERT_TRUE(WaitUntil([&] { return Serving(); }, kDeadlineMs)) << AgentLog();
  const std::unique_ptr<CNamedFlag> pQuit = FindAgentQuitEvent();
  ASSERT_TRUE(pQuit) << DaemonLog();

  CProcess second;
  ASSERT_TRUE(second.Start(m_strAgent.c_str(), {m_strAgent}, &m_vecEnv));
  EXPECT_EQ(ExitCodeWithin(second, kDeadlineMs), 0) << "the second copy stays";

  // One window in the whole session, the first copy's, with its icon; the
  // second copy wrote nothing and started no watchdog.
  EXPECT_EQ(FindProcessWindows(kWindowClass, 0), std::vector<HWND>{hWnd});
  EXPECT_TRUE(TrayHasIcon(hWnd, kIconId));
  char szPid[16];
  std::snprintf(szPid, sizeof(szPid), "[%08lu]", second.GetPid());
  EXPECT_EQ(AgentLog().find(szPid), std::string::npos) << AgentLog();
  std::string strDaemon = DaemonLog();
  size_t nFirst = strDaemon.find("watching process");
  ASSERT_NE(nFirst, std::string::npos) << strDaemon;
  EXPECT_EQ(strDaemon.find("watching process", nFirst + 1), std::string::npos) << strDaemon;

  const UINT nTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");

  // The notification area lost the icon (as when Explorer restarts) and says
  // it is back: the agent adds the icon again.
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = hWnd;
  nid.uID = kIconId;
  ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &nid));
  ASSERT_FALSE(TrayHasIcon(hWnd, kIconId));
  ASSERT_TRUE(::PostMessageA(hWnd, nTaskbarCreated, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return TrayHasIcon(hWnd, kIconId); }, kDeadlineMs));

  // The message again while the icon is there: the add is refused and the
  // one icon stays. Closing the window destroys it, which takes the icon
  // away and posts a quit message; but only the exit item or a signal ends
  // the loop, so the agent serves on.
  ASSERT_TRUE(::PostMessageA(hWnd, nTaskbarCreated, 0, 0));
  ASSERT_TRUE(::PostMessageA(hWnd, WM_CLOSE, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hWnd); }, kDeadlineMs));
  EXPECT_FALSE(TrayHasIcon(hWnd, kIconId));
  EXPECT_TRUE(Serving()) << AgentLog();
  EXPECT_FALSE(m_agent.Wait(0));
  EXPECT_FALSE(pQuit->IsSet());
  EXPECT_EQ(AgentLog().find("Tolvan server stopping"), std::string::npos) << AgentLog();
}

TEST_F(TrayAgent, ExitItemSetsTheQuitEventBeforeTheIconGoesAndEndsTheAgent) {
  // The agent's icon calls come to the test's own notification area, which
  // notes the quit event's state at each.
  CTrayRecorder tray;
  ASSERT_TRUE(tray.IsFrontmost());
  HWND hWnd = StartAgent();
  ASSERT_NE(hWnd, nullptr) << AgentLog();
  ASSERT_TRUE(WaitUntil([&] { return TrayHasIcon(hWnd, kIconId); }, kDeadlineMs));
  const std::unique_ptr<CNamedFlag> pQuit = FindAgentQuitEvent();
  ASSERT_TRUE(pQuit) << DaemonLog();
  EXPECT_FALSE(pQuit->IsSet());
  tray.SetQuitProbe(pQuit.get());

  // The icon as the agent adds it: messages come back as the tray callback,
  // with the display title as its tip.
  CTrayRecorder::CCall add{};
  ASSERT_TRUE(FindTrayCall(tray, NIM_ADD, 0, add));
  EXPECT_EQ(add.hOwner, hWnd);
  EXPECT_EQ(add.nId, kIconId);
  EXPECT_EQ(add.nFlags & (NIF_MESSAGE | NIF_ICON | NIF_TIP), UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(add.nCallbackMessage, kTrayCallback);
  EXPECT_EQ(add.strTip, L"Kaltor Client 5.0");

  // A left click on the icon shows the balloon.
  ASSERT_TRUE(::PostMessageA(hWnd, kTrayCallback, kIconId, WM_LBUTTONDOWN));
  CTrayRecorder::CCall balloon{};
  ASSERT_TRUE(WaitUntil([&] { return FindTrayCall(tray, NIM_MODIFY, NIF_INFO, balloon); },
                      kDeadlineMs));
  EXPECT_EQ(balloon.hOwner, hWnd);
  EXPECT_EQ(balloon.strInfo, L"The Running!");
  EXPECT_EQ(balloon.strInfoTitle, L"Kaltor Client 5.0");

  // Choose the menu's one item: "退出". (A menu closed without a choice:
  // TrayText.)
  HWND hMenu = OpenTrayMenu(hWnd);
  ASSERT_NE(hMenu, nullptr) << "no popup menu";
  ASSERT_TRUE(::PostMessageA(hMenu, WM_KEYDOWN, VK_DOWN, 0));
  ASSERT_TRUE(::PostMessageA(hMenu, WM_KEYDOWN, VK_RETURN, 0));
  // It ends with code 0, the quit event set before its one icon was deleted.
  ASSERT_EQ(ExitCodeWithin(m_agent, kDeadlineMs), 0) << "the agent did not end\n" << AgentLog();
  EXPECT_TRUE(pQuit->IsSet());
  std::vector<CTrayRecorder::CCall> vecDeletes;
  for (const CTrayRecorder::CCall& call : tray.Calls()) {
    if (call.dwCommand == NIM_DELETE) vecDeletes.push_back(call);
  }
  ASSERT_EQ(vecDeletes.size(), 1u) << "the icon must be deleted once";
  EXPECT_EQ(vecDeletes[0].hOwner, hWnd);
  EXPECT_EQ(vecDeletes[0].nId, kIconId);
  EXPECT_TRUE(vecDeletes[0].bQuitSet) << "the icon went before the quit event was set";
  EXPECT_NE(AgentLog().find("Tolvan server stopped."), std::string::npos) << AgentLog();
  // The watchdog saw the event, before or after the agent's end, and lets
  // the agent go (it ends with either line; it never restarts here).
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::string strLog = DaemonLog();
        return strLog.find("quit event set") != std::string::npos ||
               strLog.find("ended after the quit event") != std::string::npos;
      },
      kDeadlineMs))
      << DaemonLog();
}

}  // namespace
