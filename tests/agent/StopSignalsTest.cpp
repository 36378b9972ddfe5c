// Signals that end a session (the terminal closed, the user logged out) stop
// the real agent in order, as SIGTERM does: exit code 0, the quit event set,
// no restart by the watchdog.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <string>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"

namespace fs = std::filesystem;

namespace {

class StopSignals : public ::testing::TestWithParam<int> {};

TEST_P(StopSignals, StopTheAgentInOrder) {
  const int nSignal = GetParam();
  CTempDir install;
  CTempDir runtime;
  ASSERT_FALSE(install.Path().empty());
  ASSERT_FALSE(runtime.Path().empty());
  const std::string strAgent = (install.Path() / "Tolvan").string();
  fs::copy_file(BuildPath(TOLVAN_AGENT_PATH), strAgent);
  fs::copy_file(BuildPath(TOLVAN_DAEMON_PATH), install.Path() / "TolvanDaemon");
  const uint16_t nPort = PickFreePort();
  ASSERT_NE(nPort, 0);
  {
    std::ofstream out(install.Path() / "TolvanService.ini", std::ios::binary);
    out << "[Config]\nPort=" << nPort << "\nDebugLevel=3\n";
  }
  const std::vector<std::string> vecEnv = EnvironmentWith(
      {"XDG_RUNTIME_DIR=" + runtime.Path().string(), "TOLVAN_WATCHDOG_BACKOFF_MS=20"});
  const auto agentLog = [&] { return ReadFilesIn(install.Path() / "Log", "Tolvan2"); };
  const auto daemonLog = [&] { return ReadFilesIn(install.Path() / "Log", "TolvanDaemon"); };

  CProcess agent;
  ASSERT_TRUE(agent.Start(strAgent.c_str(), {strAgent}, &vecEnv));
  ASSERT_TRUE(WaitUntil([&] { return PostFun(nPort, "cloudPing") != ""; }, 20000)) << agentLog();
  ASSERT_TRUE(WaitUntil([&] { return daemonLog().find("watching process") != std::string::npos; },
                      10000));

  ASSERT_EQ(::kill(static_cast<pid_t>(agent.GetPid()), nSignal), 0);
  ASSERT_TRUE(agent.Wait(20000));
  unsigned long dwCode = 99;
  ASSERT_TRUE(agent.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, 0u);
  EXPECT_NE(agentLog().find("Stop requested by signal " + std::to_string(nSignal)),
            std::string::npos)
      << agentLog();
  ASSERT_TRUE(WaitUntil([&] { return daemonLog().find("quit event") != std::string::npos; }, 10000))
      << daemonLog();
  EXPECT_EQ(daemonLog().find("restart"), std::string::npos) << daemonLog();
}

INSTANTIATE_TEST_SUITE_P(SessionEnd, StopSignals, ::testing::Values(SIGHUP, SIGQUIT));

}  // namespace
