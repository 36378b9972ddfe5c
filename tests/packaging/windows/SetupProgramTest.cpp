// The setup program as a user runs it: a silent install into the user's
// %LOCALAPPDATA%\Tolvan of this Wine prefix, the installed agent serving, a
// second install over the running agent, and a silent uninstall that ends the
// agent and leaves nothing behind.

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"
#include "tests/agent/win/AgentWindows.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvan";
const unsigned kSetupDeadlineMs = 120000;
const unsigned kAgentDeadlineMs = 30000;

// Everything the setup program puts into the install directory.
const char* const kInstalledFiles[] = {"Tolvan.exe", "TolvanDaemon.exe", "pkiCard.dll",
                                       "README.txt", "Demo\\index.html", "Uninstall.exe"};

fs::path KnownFolder(int nCsidl) {
  wchar_t szPath[MAX_PATH] = {0};
  const HRESULT hr = ::SHGetFolderPathW(nullptr, nCsidl, nullptr, SHGFP_TYPE_CURRENT, szPath);
  return SUCCEEDED(hr) ? fs::path(szPath) : fs::path();
}

// A string value under HKEY_CURRENT_USER; "<none>" when there is none.
std::wstring UserString(const wchar_t* szKey, const wchar_t* szName) {
  wchar_t szData[1024] = {0};
  DWORD dwSize = sizeof(szData);
  const LSTATUS nResult =
      ::RegGetValueW(HKEY_CURRENT_USER, szKey, szName, RRF_RT_REG_SZ, nullptr, szData, &dwSize);
  return nResult == ERROR_SUCCESS ? szData : L"<none>";
}

bool UserKeyExists(const wchar_t* szKey) {
  HKEY hKey = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
  ::RegCloseKey(hKey);
  return true;
}

// Runs a program (vecArgs[0]) and waits for it; its exit code, or -1 when it
// could not be started or did not end in time.
long RunAndWait(const std::vector<std::string>& vecArgs) {
  CProcess process;
  if (!process.Start(vecArgs[0].c_str(), vecArgs)) return -1;
  const long nCode = ExitCodeWithin(process, kSetupDeadlineMs);
  if (nCode == -1) process.Kill();
  return nCode;
}

class SetupProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (WineWithoutDisplay()) {
      GTEST_SKIP() << "Wine has no X display here; run the tests under xvfb-run";
    }
    m_install = KnownFolder(CSIDL_LOCAL_APPDATA) / "Tolvan";
    m_shortcut = KnownFolder(CSIDL_PROGRAMS) / "Tolvan.lnk";
    // The test installs where a user's install goes: in a prefix of its own.
    ASSERT_FALSE(fs::exists(m_install) || UserKeyExists(kUninstallKey))
        << "this Wine prefix already holds an install: use a fresh WINEPREFIX";
  }

  void TearDown() override {
    if (m_agent.GetPid() != 0 && !m_agent.Wait(0)) {
      m_agent.Kill();
      m_agent.Wait(kAgentDeadlineMs);
    }
    // A failed case leaves no install behind for the next run in this prefix.
    if (m_bInstalled && fs::exists(m_install / "Uninstall.exe")) Uninstall();
  }

  long Install() {
    m_bInstalled = true;
    return RunAndWait({BuildPath(TOLVAN_SETUP_PATH).string(), "/S"});
  }

  // Runs the uninstaller as its own copy does: from another directory, told
  // where the install is with "_?=", so that the wait ends when it has done.
  long Uninstall() {
    fs::path copy = m_uninstallCopy.Path() / "Uninstall.exe";
    std::error_code ec;
    fs::copy_file(m_install / "Uninstall.exe", copy, fs::copy_options::overwrite_existing, ec);
    if (ec) return -1;
    // "_?=" takes the rest of the command line, unquoted: a short path has
    // no spaces.
    char szDir[MAX_PATH] = {0};
    const DWORD dwLen = ::GetShortPathNameA(m_install.string().c_str(), szDir, sizeof(szDir));
    if (dwLen == 0 || dwLen >= sizeof(szDir)) return -1;
    return RunAndWait({copy.string(), "/S", std::string("_?=") + szDir});
  }

  // Starts the installed agent and waits until it answers on m_nPort.
  bool StartInstalledAgent() {
    std::string strAgent = (m_install / "Tolvan.exe").string();
    // As at logon: no console, no standard streams.
    if (!m_agent.Start(strAgent.c_str(), {strAgent}, nullptr, CProcess::emNoStdHandles)) {
      return false;
    }
    WaitUntil([&] { return AgentServes(m_nPort) || m_agent.Wait(0); }, kAgentDeadlineMs);
    return AgentServes(m_nPort);
  }

  std::string AgentLog() { return ReadFilesIn(m_install / "Log", "Tolvan2"); }

  fs::path m_install;
  fs::path m_shortcut;
  CTempDir m_uninstallCopy{"tolvan-uninstall"};
  bool m_bInstalled = false;
  CProcess m_agent;
  uint16_t m_nPort = 0;
};

TEST_F(SetupProgram, InstallsForTheUserServesAndUninstallsWithoutATrace) {
  ASSERT_EQ(Install(), 0);
  for (const char* szFile : kInstalledFiles) {
    EXPECT_TRUE(fs::is_regular_file(m_install / szFile)) << szFile;
  }
  EXPECT_EQ(UserString(kRunKey, L"Tolvan"), L"\"" + (m_install / "Tolvan.exe").wstring() + L"\"");
  const std::wstring strUninstall = L"\"" + (m_install / "Uninstall.exe").wstring() + L"\"";
  EXPECT_EQ(UserString(kUninstallKey, L"UninstallString"), strUninstall);
  EXPECT_EQ(UserString(kUninstallKey, L"QuietUninstallString"), strUninstall + L" /S");
  EXPECT_EQ(UserString(kUninstallKey, L"DisplayName"), L"Tolvan");
  EXPECT_TRUE(fs::is_regular_file(m_shortcut)) << m_shortcut.string();
  // A silent install starts nothing.
  EXPECT_EQ(::FindWindowA(kWindowClass, kWindowClass), nullptr);

  // The installed agent, with its settings beside it, serves on a free port.
  // (A second copy leaving at once: TrayAgent and AgentProcess.)
  m_nPort = PickFreePort();
  ASSERT_NE(m_nPort, 0);
  WriteFile(m_install / "TolvanService.ini",
            "[Config]\nPort=" + std::to_string(m_nPort) + "\nDebugLevel=3\n");
  ASSERT_TRUE(StartInstalledAgent()) << AgentLog();
  ASSERT_TRUE(WaitUntil([&] { return ::FindWindowA(kWindowClass, kWindowClass) != nullptr; },
                      kAgentDeadlineMs));

  // Installing again over the running agent ends it first, keeps the
  // settings and leaves a working install.
  ASSERT_EQ(Install(), 0) << AgentLog();
  EXPECT_EQ(ExitCodeWithin(m_agent, 0), 0) << "the setup program returned while the old agent ran";
  EXPECT_NE(AgentLog().find("Tolvan server stopped."), std::string::npos) << AgentLog();
  EXPECT_TRUE(fs::is_regular_file(m_install / "TolvanService.ini"));
  ASSERT_TRUE(StartInstalledAgent()) << AgentLog();

  // The silent uninstall ends the agent, waits for it, and removes it all.
  ASSERT_EQ(Uninstall(), 0) << AgentLog();
  EXPECT_EQ(ExitCodeWithin(m_agent, 0), 0) << "the uninstaller returned while the agent ran";
  EXPECT_FALSE(fs::exists(m_install));
  EXPECT_EQ(UserString(kRunKey, L"Tolvan"), L"<none>") << "the Run entry stays";
  EXPECT_FALSE(UserKeyExists(kUninstallKey));
  EXPECT_FALSE(fs::exists(m_shortcut));
}

}  // namespace
