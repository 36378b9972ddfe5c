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

// It serves without a watchdog: under a service manager (TOLVAN_SUPERVISED=1)
// it starts none, and one that cannot start is logged. (A second copy leaving
// at once: InstalledAgent on Linux, TrayAgent on Windows.)
TEST_F(AgentProcess, ServesWithoutItsWatchdogAndSaysSo) {
  NoRestarts();  // a watchdog started by mistake lets the killed agent go
  const std::vector<std::string> vecEnv = m_vecEnv;
  m_vecEnv.push_back("TOLVAN_SUPERVISED=1");
  for (const char* szSays : {"TOLVAN_SUPERVISED=1: the service manager restarts the agent, no "
                             "watchdog started.\n",
                             "Cannot start Daemon.\n"}) {
    CProcess agent;
    ASSERT_TRUE(StartAgent(agent));
    ASSERT_TRUE(WaitUntil([&] { return Serving(); }, 20000)) << AgentLog();
    EXPECT_NE(AgentLog().find(szSays), std::string::npos) << AgentLog();
    agent.Kill();
    agent.Wait(10000);
    // The next copy: on a port of its own, without the watchdog's program.
    m_vecEnv = vecEnv;
    m_nPort = PickFreePort();
    WriteFile(m_install.Path() / "TolvanService.ini",
              "[Config]\nPort=" + std::to_string(m_nPort) + "\nDebugLevel=3\n");
    fs::remove(m_install.Path() / (std::string("TolvanDaemon") + TOLVAN_EXE_SUFFIX));
  }
  EXPECT_EQ(DaemonLog(), "") << "a watchdog ran beside the service manager";
}

#ifndef _WIN32
// The signals that end a session (the terminal closed, the user logged out)
// stop the agent in order and the watchdog lets it go. (SIGTERM, handled by
// the same handler: InstalledAgent.)
TEST_F(AgentProcess, SessionEndSignalStopsItInOrderAndTheWatchdogLetsItGo) {
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(WaitUntil([&] { return Serving(); }, 20000)) << AgentLog();
  ASSERT_TRUE(DaemonSays("watching process")) << DaemonLog();

  ASSERT_EQ(::kill(static_cast<pid_t>(agent.GetPid()), SIGHUP), 0);
  // The loop sees the signal within 200 ms and the listener within one pass.
  EXPECT_EQ(ExitCodeWithin(agent, 20000), 0);

  // The signal, the server's stop and the listener's end, in this order.
  size_t nAt = 0;
  for (const std::string& strLine : {"Stop requested by signal " + std::to_string(SIGHUP),
                                     std::string("Tolvan server stopping"),
                                     std::string("Service thread exit")}) {
    nAt = AgentLog().find(strLine, nAt);
    ASSERT_NE(nAt, std::string::npos) << strLine << "\n" << AgentLog();
  }

  ASSERT_TRUE(DaemonSays("quit event")) << DaemonLog();
  EXPECT_EQ(DaemonLog().find("restart"), std::string::npos) << DaemonLog();
}
#endif

}  // namespace
