// The agent as a user runs it: a real process in an install directory of its
// own, with its watchdog beside it.

#include <gtest/gtest.h>

#include <string>

#include "tests/agent/AgentInstall.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace fs = std::filesystem;

namespace {

using AgentProcess = CAgentInstall;

// (A second copy leaving at once: InstalledAgent on Linux, TrayAgent on Windows.)
TEST_F(AgentProcess, ServesWithoutItsWatchdogAndSaysSo) {
  fs::remove(m_install.Path() / (std::string("TolvanDaemon") + TOLVAN_EXE_SUFFIX));
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitUntil([&] { return Serving(); }, 20000)) << AgentLog();
  EXPECT_NE(AgentLog().find("Cannot start Daemon.\n"), std::string::npos) << AgentLog();
  agent.Kill();
  agent.Wait(10000);
}

#ifndef _WIN32
// SIGTERM, and the signals that end a session (the terminal closed, the
// user logged out), stop the agent in order and the watchdog lets it go.
class AgentStopSignal : public CAgentInstall, public ::testing::WithParamInterface<int> {};

TEST_P(AgentStopSignal, StopsInOrderAndTheWatchdogLetsItGo) {
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitUntil([&] { return Serving(); }, 20000)) << AgentLog();
  ASSERT_TRUE(DaemonSays("watching process")) << DaemonLog();

  ASSERT_EQ(::kill(static_cast<pid_t>(agent.GetPid()), GetParam()), 0);
  // The loop sees the signal within 200 ms and the listener within one pass.
  EXPECT_EQ(ExitCodeWithin(agent, 20000), 0);

  std::string strLog = AgentLog();
  size_t nSignal = strLog.find("Stop requested by signal " + std::to_string(GetParam()));
  size_t nStopping = strLog.find("Tolvan server stopping");
  size_t nExit = strLog.find("Service thread exit");
  ASSERT_NE(nSignal, std::string::npos) << strLog;
  ASSERT_NE(nStopping, std::string::npos) << strLog;
  ASSERT_NE(nExit, std::string::npos) << strLog;
  EXPECT_LT(nSignal, nStopping);
  EXPECT_LT(nStopping, nExit);

  ASSERT_TRUE(DaemonSays("quit event")) << DaemonLog();
  EXPECT_EQ(DaemonLog().find("restart"), std::string::npos) << DaemonLog();
  EXPECT_FALSE(PortAccepts(m_nPort));
}

INSTANTIATE_TEST_SUITE_P(Signals, AgentStopSignal, ::testing::Values(SIGTERM, SIGHUP, SIGQUIT));

TEST_F(AgentProcess, KilledAgentIsBroughtBackServing) {
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitUntil([&] { return Serving(); }, 20000)) << AgentLog();
  ASSERT_TRUE(DaemonSays("watching process")) << DaemonLog();

  ASSERT_TRUE(agent.Kill());
  ASSERT_TRUE(agent.Wait(10000));
  ASSERT_TRUE(DaemonSays("as process ")) << DaemonLog();
  ASSERT_TRUE(WaitUntil([&] { return Serving(); }, 20000)) << AgentLog() << DaemonLog();

  // Stop the restarted agent the way a user would, so nothing outlives the test.
  std::string strLog = DaemonLog();
  size_t nAt = strLog.find("as process ");
  long nPid = std::strtol(strLog.c_str() + nAt + 11, nullptr, 10);
  ASSERT_GT(nPid, 0);
  ASSERT_EQ(::kill(static_cast<pid_t>(nPid), SIGTERM), 0);
  EXPECT_TRUE(WaitUntil([&] { return !PortAccepts(m_nPort); }, 10000));
  EXPECT_TRUE(WaitUntil(
      [&] {
        std::string s = DaemonLog();
        return s.find("quit event", s.find("as process ")) != std::string::npos;
      },
      10000))
      << DaemonLog();
}
#endif

}  // namespace
