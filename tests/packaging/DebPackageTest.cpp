// The Linux package: made by packaging/linux/build-deb, clean under lintian,
// and the agent unpacked from it serving from an install directory it cannot
// write to (as root: run as "nobody"), with the user's XDG directories.

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"

namespace fs = std::filesystem;

namespace {

// Every path under dir, relative to it.
std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> setPaths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    setPaths.insert(fs::relative(it->path(), dir).string());
  }
  return setPaths;
}

// The package, made and unpacked once for every test here.
struct CBuiltPackage {
  CTempDir m_work{"deb-package"};
  std::string m_strDeb;
  std::string m_strBuildOutput;
  fs::path m_root;  // the package unpacked with dpkg -x
  bool m_bUnpacked = false;

  CBuiltPackage() {
    if (!m_work.Ok()) return;
    // Open for "nobody" to pass through to the unpacked files and its home.
    std::error_code ec;
    fs::permissions(m_work.Path(), fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec, ec);
    const fs::path out = m_work.Path() / "out";
    if (RunCommand({TOLVAN_BUILD_DEB, TOLVAN_BUILD_DIR, out.string()}, &m_strBuildOutput) != 0) {
      return;
    }
    for (const auto& entry : fs::directory_iterator(out, ec)) {
      if (entry.path().extension() == ".deb") m_strDeb = entry.path().string();
    }
    m_root = m_work.Path() / "root";
    std::string strOut;
    m_bUnpacked = !m_strDeb.empty() && RunCommand({TOLVAN_DPKG, "-x", m_strDeb, m_root.string()},
                                                  &strOut) == 0;
    if (!m_bUnpacked) m_strBuildOutput += strOut;
  }
  fs::path AppDir() const { return m_root / "usr/lib/tolvan"; }
};

class DebPackage : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Package().m_bUnpacked) << Package().m_strBuildOutput; }
  // Made at the first test's start, removed when the program ends.
  static CBuiltPackage& Package() {
    static CBuiltPackage s_package;
    return s_package;
  }
};

TEST_F(DebPackage, HasNoLintianErrorsAndHoldsTheAgentBesideItsFilesAndStartsItAtLogon) {
  std::string strOutput;
  const int nCode = RunCommand({TOLVAN_LINTIAN, "--fail-on", "error", Package().m_strDeb}, &strOutput);
  // The tags lintian gave, for the log of the run.
  std::cout << "lintian " << Package().m_strDeb << ":\n" << strOutput;
  EXPECT_EQ(nCode, 0) << strOutput;

  const fs::path app = Package().AppDir();
  for (const char* szFile : {"Tolvan", "TolvanDaemon", "TolvanKeyProbe", "libpkiCard.so"}) {
    EXPECT_TRUE(fs::is_regular_file(app / szFile)) << szFile;
  }
  const fs::path root = Package().m_root;
  // (The copyright and changelog files: lintian.)
  for (const char* szFile : {"README.md", "examples/index.html"}) {
    EXPECT_TRUE(fs::is_regular_file(root / "usr/share/doc/tolvan" / szFile)) << szFile;
  }
  const std::string strUnit = ReadFile(root / "usr/lib/systemd/user/tolvan.service");
  for (const char* szLine : {"ExecStart=/usr/lib/tolvan/Tolvan\n", "Restart=on-failure\n",
                             "Environment=TOLVAN_SUPERVISED=1\n", "WantedBy=default.target\n"}) {
    EXPECT_NE(strUnit.find(szLine), std::string::npos) << szLine << "\n" << strUnit;
  }
  const std::string strDesktop = ReadFile(root / "etc/xdg/autostart/tolvan.desktop");
  // The entry leaves the start to the unit where that is enabled.
  EXPECT_NE(strDesktop.find("Exec=sh -c \"systemctl --user --quiet is-enabled tolvan.service "
                            "2>/dev/null || exec /usr/lib/tolvan/Tolvan\"\n"),
            std::string::npos)
      << strDesktop;
}

// One run of the unpacked agent, with or without a service manager's
// TOLVAN_SUPERVISED=1.
class InstalledAgent : public DebPackage, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    DebPackage::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(m_home.Ok());
    m_bRoot = ::geteuid() == 0;
    m_config = m_home.Path() / "config";
    m_state = m_home.Path() / "state";
    fs::create_directories(m_config / "Tolvan");
    fs::create_directories(m_home.Path() / "run");
    m_nPort = PickFreePort();
    ASSERT_NE(m_nPort, 0);
    std::ofstream(m_config / "Tolvan" / "TolvanService.ini", std::ios::binary)
        << "[Config]\nPort=" << m_nPort << "\nDebugLevel=3\n";
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
      fs::permissions(Package().AppDir(), fs::perms::owner_write | fs::perms::group_write |
                                              fs::perms::others_write,
                      fs::perm_options::remove);
      ASSERT_NE(::access(Package().AppDir().c_str(), W_OK), 0);
    }
  }
  void TearDown() override {
    std::error_code ec;
    if (!m_bRoot) {
      fs::permissions(Package().AppDir(), fs::perms::owner_write, fs::perm_options::add, ec);
    }
  }

  bool StartAgent(CProcess& agent) {
    // No token of this machine takes part.
    std::vector<std::string> vecEnv = {
        "PATH=/usr/bin:/bin", "HOME=" + m_home.Str(), "XDG_CONFIG_HOME=" + m_config.string(),
        "XDG_STATE_HOME=" + m_state.string(), "XDG_DATA_HOME=" + m_home.Join("data"),
        "XDG_RUNTIME_DIR=" + m_home.Join("run"), "PKICARD_MODULE=" + m_home.Join("absent.so")};
    if (GetParam()) vecEnv.push_back("TOLVAN_SUPERVISED=1");
    const std::string strAgent = (Package().AppDir() / "Tolvan").string();
    if (!m_bRoot) return agent.Start(strAgent.c_str(), {strAgent}, &vecEnv);
    return agent.Start(TOLVAN_SETPRIV, {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                        "--clear-groups", "--", strAgent},
                       &vecEnv);
  }

  fs::path LogDir() const { return m_state / "Tolvan" / "Log"; }
  std::string AgentLog() const { return ReadFilesIn(LogDir(), "Tolvan2"); }
  std::string DaemonLog() const { return ReadFilesIn(LogDir(), "TolvanDaemon"); }

  CTempDir m_home{"deb-home"};
  bool m_bRoot = false;
  fs::path m_config;
  fs::path m_state;
  uint16_t m_nPort = 0;
};

TEST_P(InstalledAgent, ServesFromAReadOnlyInstallWithTheUsersDirectories) {
  const bool bSupervised = GetParam();
  const std::set<std::string> setInstalled = Listing(Package().m_root);
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  // Answering on the port of the settings file in the XDG configuration
  // directory: that file was read.
  const bool bServing = WaitUntil([&] { return AgentServes(m_nPort); }, 30000);
  if (!bServing) agent.Kill();
  ASSERT_TRUE(bServing) << AgentLog();
  EXPECT_NE(AgentLog().find("start on " + std::to_string(m_nPort)), std::string::npos)
      << AgentLog();
  EXPECT_EQ(fs::status(m_state / "Tolvan").permissions(), fs::perms::owner_all);
  const auto daemonSays = [&](const char* szText) {
    return WaitUntil([&] { return DaemonLog().find(szText) != std::string::npos; }, 20000);
  };
  if (!bSupervised) {
    EXPECT_TRUE(daemonSays("watching process")) << DaemonLog();
  }

  // A second start at the same logon (the autostart entry beside the unit)
  // finds the first copy's single-instance lock and leaves at once.
  CProcess second;
  ASSERT_TRUE(StartAgent(second));
  EXPECT_EQ(ExitCodeWithin(second, 20000), 0);
  EXPECT_TRUE(AgentServes(m_nPort));

  ASSERT_EQ(::kill(static_cast<pid_t>(agent.GetPid()), SIGTERM), 0);
  ASSERT_EQ(ExitCodeWithin(agent, 30000), 0);
  if (bSupervised) {
    EXPECT_NE(AgentLog().find("TOLVAN_SUPERVISED=1: the service manager restarts the agent, no "
                              "watchdog started."),
              std::string::npos)
        << AgentLog();
    EXPECT_EQ(DaemonLog(), "") << "a watchdog ran beside the service manager";
  } else {
    EXPECT_TRUE(daemonSays("quit event")) << DaemonLog();
  }
  EXPECT_EQ(Listing(Package().m_root), setInstalled) << "the agent wrote into its install";
}

INSTANTIATE_TEST_SUITE_P(ServiceManager, InstalledAgent, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Supervised" : "OnItsOwn";
                         });

}  // namespace
