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

  // The signal, the server's stop and the listener's end, in this order.
  size_t nAt = 0;
  for (const std::string& strLine : {"Stop requested by signal " + std::to_string(GetParam()),
                                     std::string("Tolvan server stopping"),
                                     std::string("Service thread exit")}) {
    nAt = AgentLog().find(strLine, nAt);
    ASSERT_NE(nAt, std::string::npos) << strLine << "\n" << AgentLog();
  }

  ASSERT_TRUE(DaemonSays("quit event")) << DaemonLog();
  EXPECT_EQ(DaemonLog().find("restart"), std::string::npos) << DaemonLog();
}

INSTANTIATE_TEST_SUITE_P(Signals, AgentStopSignal, ::testing::Values(SIGTERM, SIGHUP, SIGQUIT));
#endif

}  // namespace
