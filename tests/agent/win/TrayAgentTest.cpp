// The agent's window, tray icon and tray menu, seen from outside through a
// notification area of the test's own, driven by messages.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/system/NamedFlag.h"
#include "tests/agent/AgentInstall.h"
#include "tests/agent/win/AgentWindows.h"
#include "tests/support/TestText.h"

namespace {

const UINT kIconId = 0;
const unsigned kDeadlineMs = 30000;
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

// A "Shell_TrayWnd" window above the desktop's, which gets the icon calls of
// programs started after it. It keeps their icons as the shell does and
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
    m_thread = std::thread([this] { Run(); });
    m_ready.get_future().wait();
  }
  ~CTrayRecorder() {
    HWND hWnd = m_hWnd.load();
    if (hWnd != nullptr) ::PostMessageA(hWnd, WM_CLOSE, 0, 0);
    m_thread.join();
  }

  HWND Window() const { return m_hWnd.load(); }
  void SetQuitProbe(const CNamedFlag* pProbe) { m_pQuit = pProbe; }
  std::vector<CCall> Calls(DWORD dwCommand) const {
    std::lock_guard<std::mutex> guard(m_mtx);
    std::vector<CCall> vecFound;
    for (const CCall& call : m_vecCalls) {
      if (call.dwCommand == dwCommand) vecFound.push_back(call);
    }
    return vecFound;
  }
  bool HasIcon(HWND hOwner, UINT nId) const {
    std::lock_guard<std::mutex> guard(m_mtx);
    return m_setIcons.count({hOwner, nId}) != 0;
  }
  // Loses every icon, as when Explorer restarts.
  void DropIcons() {
    std::lock_guard<std::mutex> guard(m_mtx);
    m_setIcons.clear();
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
    m_ready.set_value();
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
    if (call.dwCommand == NIM_ADD) return m_setIcons.insert(key).second;
    if (call.dwCommand == NIM_DELETE) return m_setIcons.erase(key) != 0;
    return call.dwCommand != NIM_MODIFY || m_setIcons.count(key) != 0;
  }

  std::promise<void> m_ready;  // set once the window is made (or could not be)
  std::thread m_thread;
  std::atomic<HWND> m_hWnd{nullptr};
  std::atomic<const CNamedFlag*> m_pQuit{nullptr};
  mutable std::mutex m_mtx;
  std::vector<CCall> m_vecCalls;
  std::set<std::pair<HWND, UINT>> m_setIcons;
};

class TrayAgent : public CAgentInstall {
 protected:
  void SetUp() override {
    if (WineWithoutDisplay()) {
      GTEST_SKIP() << "Wine has no X display here; run the tests under xvfb-run";
    }
    CAgentInstall::SetUp();
    NoRestarts();
    m_pTray = std::make_unique<CTrayRecorder>();
    // The shell's calls go to the first window of the class: the recorder's.
    ASSERT_EQ(::FindWindowExA(nullptr, nullptr, kTrayClass, nullptr), m_pTray->Window());
  }

  void TearDown() override {
    if (m_agent.GetPid() == 0 || m_agent.Wait(0)) return;
    m_agent.Kill();
    m_agent.Wait(kDeadlineMs);
    // Let the watchdog finish with the log before the directory goes.
    DaemonSays("giving up", kDeadlineMs);
  }

  // Starts the agent and waits for its one window (null when none appeared)
  // and its watchdog, then finds the quit event made before the watchdog
  // started: "vex50_quit_flag" and the tick count of its creation.
  HWND StartAgentWindow() {
    const ULONGLONG nStartTick = ::GetTickCount64();
    HWND hWnd = nullptr;
    if (!StartAgent(m_agent)) return nullptr;
    WaitUntil(
        [&] {
          std::vector<HWND> vecWindows = FindProcessWindows(kWindowClass, m_agent.GetPid());
          if (vecWindows.size() == 1) hWnd = vecWindows[0];
          return hWnd != nullptr || m_agent.Wait(0);
        },
        kDeadlineMs);
    if (hWnd == nullptr || !DaemonSays("watching process", kDeadlineMs)) return hWnd;
    for (ULONGLONG n = ::GetTickCount64() + 1; n-- > nStartTick && !m_pQuit;) {
      const std::string strName = "vex50_quit_flag" + std::to_string(n);
      m_pQuit = std::make_unique<CNamedFlag>(strName.c_str(), CNamedFlag::emOpenExisting);
      if (!m_pQuit->IsValid()) m_pQuit.reset();
    }
    return hWnd;
  }

  std::unique_ptr<CNamedFlag> m_pQuit;  // outlives the recorder, which may probe it
  std::unique_ptr<CTrayRecorder> m_pTray;
  CProcess m_agent;
};

// A second copy leaves at once; the icon comes back with the taskbar and goes
// with the window while the agent serves on.
TEST_F(TrayAgent, HiddenToolWindowOwnsTheTrayIconWhileTheAgentServes) {
  HWND hWnd = StartAgentWindow();
  ASSERT_NE(hWnd, nullptr) << "no window of class \"" << kWindowClass << "\"\n" << AgentLog();
  EXPECT_NE(::GetWindowLongPtrA(hWnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  RECT rc{};
  ASSERT_TRUE(::GetWindowRect(hWnd, &rc));
  EXPECT_TRUE(rc.right <= rc.left || rc.bottom <= rc.top) << "the window is not hidden";

  ASSERT_TRUE(WaitUntil([&] { return m_pTray->HasIcon(hWnd, kIconId); }, kDeadlineMs))
      << "the notification area has no icon of the agent's window";
  ASSERT_TRUE(WaitUntil([&] { return Serving(); }, kDeadlineMs)) << AgentLog();
  ASSERT_TRUE(m_pQuit) << DaemonLog();

  CProcess second;
  ASSERT_TRUE(StartAgent(second));
  EXPECT_EQ(ExitCodeWithin(second, kDeadlineMs), 0) << "the second copy stays";

  // One window in the whole session, the first copy's, with its icon; the
  // second copy wrote nothing and started no watchdog.
  EXPECT_EQ(FindProcessWindows(kWindowClass, 0), std::vector<HWND>{hWnd});
  EXPECT_TRUE(m_pTray->HasIcon(hWnd, kIconId));
  char szPid[16];
  std::snprintf(szPid, sizeof(szPid), "[%08lu]", second.GetPid());
  EXPECT_EQ(AgentLog().find(szPid), std::string::npos) << AgentLog();
  EXPECT_EQ(CountOf(DaemonLog(), "watching process"), 1u) << DaemonLog();

  // The notification area lost the icon and says it is back: the agent adds
  // the icon again.
  const UINT nTaskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
  m_pTray->DropIcons();
  ASSERT_TRUE(::PostMessageA(hWnd, nTaskbarCreated, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return m_pTray->HasIcon(hWnd, kIconId); }, kDeadlineMs));

  // The message again while the icon is there: the add is refused and the
  // one icon stays. Closing the window destroys it, which takes the icon
  // away and posts a quit message; but only the exit item or a signal ends
  // the loop, so the agent serves on.
  ASSERT_TRUE(::PostMessageA(hWnd, nTaskbarCreated, 0, 0));
  ASSERT_TRUE(::PostMessageA(hWnd, WM_CLOSE, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(hWnd); }, kDeadlineMs));
  EXPECT_FALSE(m_pTray->HasIcon(hWnd, kIconId));
  EXPECT_TRUE(Serving()) << AgentLog();
  EXPECT_FALSE(m_pQuit->IsSet());
  EXPECT_EQ(AgentLog().find("Tolvan server stopping"), std::string::npos) << AgentLog();
}

TEST_F(TrayAgent, ExitItemSetsTheQuitEventBeforeTheIconGoesAndEndsTheAgent) {
  HWND hWnd = StartAgentWindow();
  ASSERT_NE(hWnd, nullptr) << AgentLog();
  ASSERT_TRUE(WaitUntil([&] { return m_pTray->HasIcon(hWnd, kIconId); }, kDeadlineMs));
  ASSERT_TRUE(m_pQuit) << DaemonLog();
  EXPECT_FALSE(m_pQuit->IsSet());
  m_pTray->SetQuitProbe(m_pQuit.get());

  // The icon as the agent adds it (its owner and id: HasIcon): messages come
  // back as the tray callback, with the display title as its tip.
  const std::vector<CTrayRecorder::CCall> vecAdds = m_pTray->Calls(NIM_ADD);
  ASSERT_FALSE(vecAdds.empty());
  const UINT nAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  EXPECT_EQ(vecAdds[0].nFlags & nAddFlags, nAddFlags);
  EXPECT_EQ(vecAdds[0].nCallbackMessage, kTrayCallback);
  EXPECT_EQ(vecAdds[0].strTip, L"Kaltor Client 5.0");

  // A left click on the icon shows the balloon.
  ASSERT_TRUE(::PostMessageA(hWnd, kTrayCallback, kIconId, WM_LBUTTONDOWN));
  ASSERT_TRUE(WaitUntil([&] { return !m_pTray->Calls(NIM_MODIFY).empty(); }, kDeadlineMs));
  const CTrayRecorder::CCall balloon = m_pTray->Calls(NIM_MODIFY)[0];
  EXPECT_EQ(balloon.hOwner, hWnd);
  EXPECT_NE(balloon.nFlags & NIF_INFO, 0u);
  EXPECT_EQ(balloon.strInfo, L"The Running!");
  EXPECT_EQ(balloon.strInfoTitle, L"Kaltor Client 5.0");

  // A right click opens the menu; choose its one item, "退出". (A menu closed
  // without a choice: TrayText.)
  ASSERT_TRUE(::PostMessageA(hWnd, kTrayCallback, kIconId, WM_RBUTTONDOWN));
  HWND hMenu = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (hMenu = FindVisibleMenu(m_agent.GetPid())) != nullptr; },
                        kDeadlineMs))
      << "no popup menu";
  ASSERT_TRUE(::PostMessageA(hMenu, WM_KEYDOWN, VK_DOWN, 0));
  ASSERT_TRUE(::PostMessageA(hMenu, WM_KEYDOWN, VK_RETURN, 0));
  // It ends with code 0, the quit event set before its one icon was deleted.
  ASSERT_EQ(ExitCodeWithin(m_agent, kDeadlineMs), 0) << "the agent did not end\n" << AgentLog();
  EXPECT_TRUE(m_pQuit->IsSet());
  const std::vector<CTrayRecorder::CCall> vecDeletes = m_pTray->Calls(NIM_DELETE);
  ASSERT_EQ(vecDeletes.size(), 1u) << "the icon must be deleted once";
  EXPECT_FALSE(m_pTray->HasIcon(hWnd, kIconId));
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
