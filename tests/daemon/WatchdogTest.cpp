#include "daemon/Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/system/Process.h"
#include "tests/agent/AgentTestSupport.h"

namespace fs = std::filesystem;

namespace {

// The restart history: junk is skipped, the text round-trips, only the window
// stays (ticks from another boot, later than now, go), and the back-off
// doubles up to its cap.
TEST(WatchdogHistory, ParsePruneAndBackoff) {
  EXPECT_TRUE(ParseRestartHistory("").empty());
  EXPECT_EQ(ParseRestartHistory("5,x,,12,-3,99999999999999999999,7"),
            (std::vector<uint64_t>{5, 12, 7}));
  std::vector<uint64_t> vec = {1, 20, 300};
  EXPECT_EQ(ParseRestartHistory(FormatRestartHistory(vec)), vec);
  vec = {1000, 5000, 9000, 10000, 20000};
  PruneRestartHistory(vec, 10000, 5001);
  EXPECT_EQ(vec, (std::vector<uint64_t>{5000, 9000, 10000}));

  CWatchdogPolicy policy;
  policy.m_dwFirstBackoffMs = 500;
  policy.m_dwMaxBackoffMs = 3000;
  EXPECT_EQ(RestartBackoffMs(policy, 0), 500u);
  EXPECT_EQ(RestartBackoffMs(policy, 1), 1000u);
  EXPECT_EQ(RestartBackoffMs(policy, 2), 2000u);
  EXPECT_EQ(RestartBackoffMs(policy, 3), 3000u);
  EXPECT_EQ(RestartBackoffMs(policy, 60), 3000u);
}

class WatchdogProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_install.Path().empty());
    m_strAgent = (m_install.Path() / (std::string("FakeAgent") + TOLVAN_EXE_SUFFIX)).string();
    m_strDaemon = (m_install.Path() / (std::string("TolvanDaemon") + TOLVAN_EXE_SUFFIX)).string();
    fs::copy_file(BuildPath(TOLVAN_FAKE_AGENT_PATH), m_strAgent);
    fs::copy_file(BuildPath(TOLVAN_DAEMON_PATH), m_strDaemon);
    m_record = m_install.Path() / "record.txt";
  }

  std::vector<std::string> Env(const std::string& strMode, const std::string& strMaxRestarts) {
    return EnvironmentWith({"XDG_RUNTIME_DIR=" + m_runtime.Path().string(),
                            "TOLVAN_FAKE_AGENT_MODE=" + strMode,
                            "TOLVAN_FAKE_AGENT_RECORD=" + m_record.string(),
                            "TOLVAN_WATCHDOG_MAX_RESTARTS=" + strMaxRestarts,
                            "TOLVAN_WATCHDOG_BACKOFF_MS=10"});
  }

  // One line per start of the fake agent.
  long Runs() {
    const std::string strRecord = ReadFile(m_record);
    return std::count(strRecord.begin(), strRecord.end(), '\n');
  }

  std::string DaemonLog() { return ReadFilesIn(m_install.Path() / "Log", "TolvanDaemon"); }

  CTempDir m_install;
  CTempDir m_runtime;
  std::string m_strAgent;
  std::string m_strDaemon;
  fs::path m_record;
};

TEST_F(WatchdogProcess, CrashLoopIsRestartedABoundedNumberOfTimes) {
  std::vector<std::string> vecEnv = Env("crash", "3");
  CProcess agent;
  ASSERT_TRUE(agent.Start(m_strAgent.c_str(), {m_strAgent}, &vecEnv));
  ASSERT_TRUE(WaitUntil([&] { return DaemonLog().find("giving up") != std::string::npos; }, 60000))
      << DaemonLog();
  // The first start and three restarts; the fourth crash is not restarted.
  EXPECT_EQ(Runs(), 4) << DaemonLog();
  std::string strLog = DaemonLog();
  EXPECT_NE(strLog.find("3 restarts within"), std::string::npos) << strLog;
}

TEST_F(WatchdogProcess, ChosenExitIsNotRestarted) {
  std::vector<std::string> vecEnv = Env("quit", "3");
  CProcess agent;
  ASSERT_TRUE(agent.Start(m_strAgent.c_str(), {m_strAgent}, &vecEnv));
  ASSERT_TRUE(agent.Wait(30000));
  ASSERT_TRUE(WaitUntil([&] { return DaemonLog().find("quit event") != std::string::npos; }, 20000))
      << DaemonLog();
  EXPECT_EQ(Runs(), 1);
  EXPECT_EQ(DaemonLog().find("restart"), std::string::npos) << DaemonLog();
}

TEST_F(WatchdogProcess, MissingVariablesEndTheWatchdogAtOnce) {
  std::vector<std::string> vecEnv;
  for (const std::string& s : EnvironmentWith({})) {
    if (s.rfind("quit_flag=", 0) != 0 && s.rfind("process_id=", 0) != 0 &&
        s.rfind("module_path=", 0) != 0) {
      vecEnv.push_back(s);
    }
  }
  CProcess daemon;
  ASSERT_TRUE(daemon.Start(m_strDaemon.c_str(), {m_strDaemon}, &vecEnv));
  ASSERT_TRUE(daemon.Wait(20000));
  unsigned long dwCode = 0;
  ASSERT_TRUE(daemon.GetExitCode(dwCode));
  EXPECT_EQ(dwCode, static_cast<unsigned long>(WATCHDOG_BAD_ENVIRONMENT));
}

}  // namespace
