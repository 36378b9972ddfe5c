#include "daemon/Watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "daemon/WatchdogEnv.h"
#include "tests/agent/AgentInstall.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/ProcessLogFiles.h"

namespace {

// The restart history: junk is skipped, only the window stays (ticks later
// than now, from another boot, go), and the back-off doubles up to its cap.
// (The history passed on from one watchdog to the next: WatchdogProcess.)
TEST(WatchdogHistory, ParsePruneAndBackoff) {
  EXPECT_EQ(ParseRestartHistory("5,x,,12,-3,99999999999999999999,7"),
            (std::vector<uint64_t>{5, 12, 7}));
  std::vector<uint64_t> vec = {1000, 5000, 9000, 10000, 20000};
  PruneRestartHistory(vec, 10000, 5001);
  EXPECT_EQ(vec, (std::vector<uint64_t>{5000, 9000, 10000}));

  CWatchdogPolicy policy;
  policy.m_dwFirstBackoffMs = 500;
  policy.m_dwMaxBackoffMs = 3000;
  EXPECT_EQ(RestartBackoffMs(policy, 2), 2000u);
  EXPECT_EQ(RestartBackoffMs(policy, 60), 3000u);  // capped
}

// The fake agent (FakeAgent.cpp) installed as the agent, beside the watchdog.
using WatchdogProcess = CAgentInstall;

TEST_F(WatchdogProcess, CrashLoopIsRestartedABoundedNumberOfTimes) {
  const std::string strRecord = m_install.Join("record.txt");  // a line per start
  m_vecEnv = EnvironmentWith({"XDG_RUNTIME_DIR=" + m_runtime.Path().string(),
                              "TOLVAN_FAKE_AGENT_RECORD=" + strRecord,
                              "TOLVAN_WATCHDOG_MAX_RESTARTS=3", "TOLVAN_WATCHDOG_BACKOFF_MS=10"});
  CProcess agent;
  ASSERT_TRUE(StartAgent(agent));
  ASSERT_TRUE(DaemonSays("giving up", 60000)) << DaemonLog();
  // The first start and three restarts; the fourth crash is not restarted.
  const std::string strRuns = ReadFile(strRecord);
  EXPECT_EQ(std::count(strRuns.begin(), strRuns.end(), '\n'), 4) << DaemonLog();
  EXPECT_NE(DaemonLog().find("3 restarts within"), std::string::npos) << DaemonLog();
}

// Without quit_flag (as without process_id or module_path) it ends at once.
TEST(WatchdogRun, MissingVariableEndsItAtOnce) {
  CTempDir dir("tolvan-daemon");
  LogTo(dir.Path());
  const CEnvOverride noFlag(WATCHDOG_ENV_QUIT_FLAG, nullptr);
  EXPECT_EQ(RunWatchdog(CWatchdogPolicy()), WATCHDOG_BAD_ENVIRONMENT);
  CloseProcessLog();
}

}  // namespace
