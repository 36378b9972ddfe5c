// The Linux package: made by packaging/linux/build-deb, clean under lintian,
// and the agent unpacked from it serving from an install directory it cannot
// write to (as root: run as "nobody"), with the user's XDG directories.

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"
#include "tests/support/CommandLine.h"

namespace fs = std::filesystem;

namespace {

// Every path under dir, relative to it.
std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> setPaths;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    setPaths.insert(fs::relative(entry.path(), dir).string());
  }
  return setPaths;
}

class DebPackage : public ::testing::Test {
 protected:
  // Makes the package and unpacks it with dpkg -x, and gives the agent a home
  // whose settings put it on a free port.
  void SetUp() override {
    ASSERT_TRUE(m_work.Ok() && m_home.Ok());
    // Open for "nobody" to pass through to the unpacked files.
    fs::permissions(m_work.Path(), fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
    const fs::path out = m_work.Path() / "out";
    std::string strOutput;
    ASSERT_EQ(RunIn(m_work.Str(), ShellQuote(TOLVAN_BUILD_DEB) + " " +
                                      ShellQuote(TOLVAN_BUILD_DIR) + " out", &strOutput), 0)
        << strOutput;
    for (const auto& entry : fs::directory_iterator(out)) {
      if (entry.path().extension() == ".deb") m_strDeb = entry.path().string();
    }
    ASSERT_EQ(RunIn(m_work.Str(), ShellQuote(TOLVAN_DPKG) + " -x " + ShellQuote(m_strDeb) +
                                      " root", &strOutput), 0)
        << strOutput;

    m_bRoot = ::geteuid() == 0;
    fs::create_directories(m_config / "Tolvan");
    fs::create_directories(m_home.Path() / "run");
    m_nPort = PickFreePort();
    ASSERT_NE(m_nPort, 0);
    WriteFile(m_config / "Tolvan" / "TolvanService.ini",
              "[Config]\nPort=" + std::to_string(m_nPort) + "\nDebugLevel=3\n");
    if (m_bRoot) {
      // The home belongs to the user the agent runs as.
      const passwd* pUser = ::getpwnam("nobody");
      const group* pGroup = ::getgrnam("nogroup");
      ASSERT_NE(pUser, nullptr);
      ASSERT_NE(pGroup, nullptr);
      fs::permissions(m_home.Path(), fs::perms::owner_all | fs::perms::others_exec);
      ASSERT_EQ(::chown(m_home.Path().c_str(), pUser->pw_uid, pGroup->gr_gid), 0);
      for (const auto& entry : fs::recursive_directory_iterator(m_home.Path())) {
        ASSERT_EQ(::chown(entry.path().c_str(), pUser->pw_uid, pGroup->gr_gid), 0);
      }
    } else {
      fs::permissions(AppDir(), fs::perms::owner_write | fs::perms::group_write |
                                    fs::perms::others_write,
                      fs::perm_options::remove);
      ASSERT_NE(::access(AppDir().c_str(), W_OK), 0);
    }
  }
  void TearDown() override {
    std::error_code ec;
    if (!m_bRoot) fs::permissions(AppDir(), fs::perms::owner_write, fs::perm_options::add, ec);
  }

  bool StartAgent(CProcess& agent) {
    // No token of this machine takes part.
    const std::vector<std::string> vecEnv = {
        "PATH=/usr/bin:/bin", "HOME=" + m_home.Str(), "XDG_CONFIG_HOME=" + m_config.string(),
        "XDG_STATE_HOME=" + m_state.string(), "XDG_DATA_HOME=" + m_home.Join("data"),
        "XDG_RUNTIME_DIR=" + m_home.Join("run"), "PKICARD_MODULE=" + m_home.Join("absent.so")};
    const std::string strAgent = (AppDir() / "Tolvan").string();
    if (!m_bRoot) return agent.Start(strAgent.c_str(), {strAgent}, &vecEnv);
    return agent.Start(TOLVAN_SETPRIV, {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                        "--clear-groups", "--", strAgent},
                       &vecEnv);
  }

  fs::path AppDir() const { return m_root / "usr/lib/tolvan"; }
  fs::path LogDir() const { return m_state / "Tolvan" / "Log"; }
  std::string AgentLog() const { return ReadFilesIn(LogDir(), "Tolvan2"); }
  std::string DaemonLog() const { return ReadFilesIn(LogDir(), "TolvanDaemon"); }
  bool DaemonSays(const char* szText) const {
    return WaitUntil([&] { return DaemonLog().find(szText) != std::string::npos; }, 20000);
  }

  CTempDir m_work{"deb-package"};
  CTempDir m_home{"deb-home"};
  const fs::path m_root = m_work.Path() / "root";
  const fs::path m_config = m_home.Path() / "config";
  const fs::path m_state = m_home.Path() / "state";
  std::string m_strDeb;
  bool m_bRoot = false;
  uint16_t m_nPort = 0;
};

TEST_F(DebPackage, HasNoLintianErrorsHoldsItsFilesAndTheAgentServesFromAReadOnlyInstall) {
  std::string strOutput;
  const int nCode = RunIn(m_work.Str(),
                          ShellQuote(TOLVAN_LINTIAN) + " --fail-on error " + ShellQuote(m_strDeb),
                          &strOutput);
  // The tags lintian gave, for the log of the run.
  std::cout << "lintian " << m_strDeb << ":\n" << strOutput;
  EXPECT_EQ(nCode, 0) << strOutput;

  for (const char* szFile : {"Tolvan", "TolvanDaemon", "TolvanKeyProbe", "libpkiCard.so"}) {
    EXPECT_TRUE(fs::is_regular_file(AppDir() / szFile)) << szFile;
  }
  // (The copyright and changelog files: lintian.)
  for (const char* szFile : {"README.md", "examples/index.html"}) {
    EXPECT_TRUE(fs::is_regular_file(m_root / "usr/share/doc/tolvan" / szFile)) << szFile;
  }
  const std::string strUnit = ReadFile(m_root / "usr/lib/systemd/user/tolvan.service");
  for (const char* szLine : {"ExecStart=/usr/lib/tolvan/Tolvan\n", "Restart=on-failure\n",
                             "Environment=TOLVAN_SUPERVISED=1\n", "WantedBy=default.target\n"}) {
    EXPECT_NE(strUnit.find(szLine), std::string::npos) << szLine << "\n" << strUnit;
  }
  const std::string strDesktop = ReadFile(m_root / "etc/xdg/autostart/tolvan.desktop");
  // The entry leaves the start to the unit where that is enabled.
  EXPECT_NE(strDesktop.find("Exec=sh -c \"systemctl --user --quiet is-enabled tolvan.service "
                            "2>/dev/null || exec /usr/lib/tolvan/Tolvan\"\n"),
            std::string::npos)
      << strDesktop;

  // The unpacked agent answers on the port of the settings file in the XDG
  // configuration directory: that file was read. (Under a service manager,
  // TOLVAN_SUPERVISED=1: AgentProcess.)
  const std::set<std::string> setInstalled = Listing(m_root);
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  const bool bServing = WaitUntil([&] { return AgentServes(m_nPort); }, 30000);
  if (!bServing) agent.Kill();
  ASSERT_TRUE(bServing) << AgentLog();
  EXPECT_NE(AgentLog().find("start on " + std::to_string(m_nPort)), std::string::npos)
      << AgentLog();
  EXPECT_EQ(fs::status(m_state / "Tolvan").permissions(), fs::perms::owner_all);
  EXPECT_TRUE(DaemonSays("watching process")) << DaemonLog();

  // A second start at the same logon (the autostart entry beside the unit)
  // finds the first copy's single-instance lock and leaves at once.
  CProcess second;
  ASSERT_TRUE(StartAgent(second));
  EXPECT_EQ(ExitCodeWithin(second, 20000), 0);
  EXPECT_TRUE(AgentServes(m_nPort));

  ASSERT_EQ(::kill(static_cast<pid_t>(agent.GetPid()), SIGTERM), 0);
  ASSERT_EQ(ExitCodeWithin(agent, 30000), 0);
  EXPECT_TRUE(DaemonSays("quit event")) << DaemonLog();
  EXPECT_EQ(Listing(m_root), setInstalled) << "the agent wrote into its install";
}

}  // namespace
