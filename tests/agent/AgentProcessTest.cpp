// The agent as a user runs it: a real process in an install directory of its
// own, with its watchdog beside it.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <string>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace fs = std::filesystem;

namespace {

const char kExeSuffix[] = TOLVAN_EXE_SUFFIX;

class AgentProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_install.Path().empty());
    ASSERT_FALSE(m_runtime.Path().empty());
    m_strAgent = (m_install.Path() / (std::string("Tolvan") + kExeSuffix)).string();
    fs::copy_file(BuildPath(TOLVAN_AGENT_PATH), m_strAgent);
    fs::copy_file(BuildPath(TOLVAN_DAEMON_PATH),
                  m_install.Path() / (std::string("TolvanDaemon") + kExeSuffix));
    m_nPort = PickFreePort();
    ASSERT_NE(m_nPort, 0);
    WriteSettings("[Config]\nPort=" + std::to_string(m_nPort) + "\nDebugLevel=3\n");
    // A runtime directory of the test's own: the single-instance lock and
    // the quit event never meet an agent the user runs.
    m_vecEnv = EnvironmentWith({"XDG_RUNTIME_DIR=" + m_runtime.Path().string(),
                                "TOLVAN_WATCHDOG_BACKOFF_MS=20"});
  }

  void WriteSettings(const std::string& strText) {
    std::ofstream out(m_install.Path() / "TolvanService.ini", std::ios::binary);
    out << strText;
  }

  // For tests that end the agent with a kill: its watchdog then gives up at
  // once instead of starting it again.
  void NoRestarts() {
    m_vecEnv = EnvironmentWith({"XDG_RUNTIME_DIR=" + m_runtime.Path().string(),
                                "TOLVAN_WATCHDOG_MAX_RESTARTS=0"});
  }

  bool StartAgent(CProcess& process) {
    return process.Start(m_strAgent.c_str(), {m_strAgent}, &m_vecEnv);
  }

  bool Serving() { return PostFun(m_nPort, "cloudPing").find("\"-10000\"") != std::string::npos; }

  std::string AgentLog() { return ReadLogs(m_install.Path() / "Log", "Tolvan2"); }
  std::string DaemonLog() { return ReadLogs(m_install.Path() / "Log", "TolvanDaemon"); }

  CTempDir m_install;
  CTempDir m_runtime;
  std::string m_strAgent;
  uint16_t m_nPort = 0;
  std::vector<std::string> m_vecEnv;
};

TEST_F(AgentProcess, ServesAndASecondCopyLeavesAtOnce) {
  NoRestarts();
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitFor([&] { return Serving(); }, 20000)) << AgentLog();

  CProcess second;
  ASSERT_TRUE(StartAgent(second));
  ASSERT_TRUE(second.Wait(10000));
  unsigned long dwCode = 99;
  ASSERT_TRUE(second.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 0u);
  EXPECT_TRUE(Serving());

  agent.Kill();
  agent.Wait(10000);
  EXPECT_TRUE(WaitFor([&] { return DaemonLog().find("giving up") != std::string::npos; }, 10000))
      << DaemonLog();
}

TEST_F(AgentProcess, ServesWithoutItsWatchdogAndSaysSo) {
  fs::remove(m_install.Path() / (std::string("TolvanDaemon") + kExeSuffix));
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitFor([&] { return Serving(); }, 20000)) << AgentLog();
  EXPECT_NE(AgentLog().find("Cannot start Daemon.\n"), std::string::npos) << AgentLog();
  agent.Kill();
  agent.Wait(10000);
}

#ifndef _WIN32
TEST_F(AgentProcess, SigtermStopsInOrderAndTheWatchdogLetsItGo) {
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitFor([&] { return Serving(); }, 20000)) << AgentLog();
  ASSERT_TRUE(WaitFor([&] { return DaemonLog().find("watching process") != std::string::npos; },
                      10000));

  ASSERT_EQ(::kill(static_cast<pid_t>(agent.GetPid()), SIGTERM), 0);
  // The loop sees the signal within 200 ms and the listener within one pass.
  ASSERT_TRUE(agent.Wait(10000));
  unsigned long dwCode = 99;
  ASSERT_TRUE(agent.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 0u);

  std::string strLog = AgentLog();
  size_t nSignal = strLog.find("Stop requested by signal 15");
  size_t nStopping = strLog.find("Tolvan server stopping");
  size_t nExit = strLog.find("Service thread exit");
  ASSERT_NE(nSignal, std::string::npos) << strLog;
  ASSERT_NE(nStopping, std::string::npos) << strLog;
  ASSERT_NE(nExit, std::string::npos) << strLog;
  EXPECT_LT(nSignal, nStopping);
  EXPECT_LT(nStopping, nExit);

  ASSERT_TRUE(WaitFor([&] { return DaemonLog().find("quit event") != std::string::npos; }, 10000))
      << DaemonLog();
  EXPECT_EQ(DaemonLog().find("restart"), std::string::npos) << DaemonLog();
  EXPECT_FALSE(PortAccepts(m_nPort));
}

TEST_F(AgentProcess, KilledAgentIsBroughtBackServing) {
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitFor([&] { return Serving(); }, 20000)) << AgentLog();
  ASSERT_TRUE(WaitFor([&] { return DaemonLog().find("watching process") != std::string::npos; },
                      10000));

  ASSERT_TRUE(agent.Kill());
  ASSERT_TRUE(agent.Wait(10000));
  ASSERT_TRUE(WaitFor([&] { return DaemonLog().find("as process ") != std::string::npos; }, 20000))
      << DaemonLog();
  ASSERT_TRUE(WaitFor([&] { return Serving(); }, 20000)) << AgentLog() << DaemonLog();

  // Stop the restarted agent the way a user would, so nothing outlives the test.
  std::string strLog = DaemonLog();
  size_t nAt = strLog.find("as process ");
  long nPid = std::strtol(strLog.c_str() + nAt + 11, nullptr, 10);
  ASSERT_GT(nPid, 0);
  ASSERT_EQ(::kill(static_cast<pid_t>(nPid), SIGTERM), 0);
  EXPECT_TRUE(WaitFor([&] { return !PortAccepts(m_nPort); }, 10000));
  EXPECT_TRUE(WaitFor(
      [&] {
        std::string s = DaemonLog();
        return s.find("quit event", s.find("as process ")) != std::string::npos;
      },
      10000))
      << DaemonLog();
}
#endif

TEST_F(AgentProcess, OddSettingsGiveTheDefaultsOrWrapThePort) {
  // 70000 is stored in 16 bits: 4464. Garbage lines are skipped.
  WriteSettings("junk line\n[Config\n[Config]\nPort=70000\nDebugLevel=3\n");
  NoRestarts();
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitFor([&] { return AgentLog().find("Tolvan server start on") != std::string::npos; },
                      20000));
  agent.Kill();
  agent.Wait(10000);
  EXPECT_NE(AgentLog().find("Tolvan server start on 4464 with log level 3"), std::string::npos)
      << AgentLog();
}

}  // namespace
