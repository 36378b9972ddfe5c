#pragma once

// An install directory of the test's own holding copies of the agent and its
// watchdog, with settings that put the agent on a free port at log level 3,
// and a runtime directory of its own (the single-instance lock and the quit
// event never meet an agent the user runs). Needs TOLVAN_AGENT_PATH,
// TOLVAN_DAEMON_PATH and TOLVAN_EXE_SUFFIX from the build.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"

class CAgentInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_install.Ok() && m_runtime.Ok());
    m_strAgent = (m_install.Path() / (std::string("Tolvan") + TOLVAN_EXE_SUFFIX)).string();
    std::filesystem::copy_file(BuildPath(TOLVAN_AGENT_PATH), m_strAgent);
    std::filesystem::copy_file(BuildPath(TOLVAN_DAEMON_PATH),
                               m_install.Path() / (std::string("TolvanDaemon") + TOLVAN_EXE_SUFFIX));
    m_nPort = PickFreePort();
    ASSERT_NE(m_nPort, 0);
    std::ofstream(m_install.Path() / "TolvanService.ini", std::ios::binary)
        << "[Config]\nPort=" << m_nPort << "\nDebugLevel=3\n";
    m_vecEnv = EnvironmentWith({"XDG_RUNTIME_DIR=" + m_runtime.Path().string(),
                                "TOLVAN_WATCHDOG_BACKOFF_MS=20"});
  }

  // For tests that end the agent with a kill: its watchdog then gives up at
  // once (and says so) instead of starting it again behind the test's back.
  void NoRestarts() {
    m_vecEnv = EnvironmentWith({"XDG_RUNTIME_DIR=" + m_runtime.Path().string(),
                                "TOLVAN_WATCHDOG_MAX_RESTARTS=0"});
  }

  bool StartAgent(CProcess& process) {
    return process.Start(m_strAgent.c_str(), {m_strAgent}, &m_vecEnv);
  }

  bool Serving() { return AgentServes(m_nPort); }
  std::string AgentLog() { return ReadFilesIn(m_install.Path() / "Log", "Tolvan2"); }
  std::string DaemonLog() { return ReadFilesIn(m_install.Path() / "Log", "TolvanDaemon"); }
  // True once the watchdog's log holds szText, within nTimeoutMs.
  bool DaemonSays(const char* szText, unsigned nTimeoutMs = 20000) {
    return WaitUntil([&] { return DaemonLog().find(szText) != std::string::npos; }, nTimeoutMs);
  }

  CTempDir m_install;
  CTempDir m_runtime;
  std::string m_strAgent;
  uint16_t m_nPort = 0;
  std::vector<std::string> m_vecEnv;
};
