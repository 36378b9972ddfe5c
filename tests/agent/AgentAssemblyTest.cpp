// The agent as it is put together in its process: settings, log, and the
// routing of requests to the dispatcher.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "agent/AgentSettings.h"
#include "agent/RouteRequest.h"
#include "http/TolvanServer.h"
#include "tests/support/ProcessLogFiles.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

TEST(AgentSettings, DefaultsValuesLogLocationAndTheRoutingOfChEnvParm) {
  CTempDir dir("tolvan-agent");
  CServerSettings settings = ReadAgentSettings(dir.Str());
  EXPECT_EQ(settings.m_strIP, "127.0.0.1");
  EXPECT_EQ(settings.m_nPort, 8888);
  EXPECT_EQ(settings.m_nDebugLevel, 4);
  EXPECT_EQ(settings.m_nLogMaxMB, 256);

  // "LogMaxMB" bounds the log directory; the quarter GiB cannot be lifted
  // by a value that is not a positive number.
  const fs::path ini = dir.Path() / "TolvanService.ini";
  for (const auto& c : {std::make_pair("4096", 4096), std::make_pair("-5", 256)}) {
    WriteFile(ini, std::string("[Config]\nLogMaxMB=") + c.first + "\n");
    EXPECT_EQ(ReadAgentSettings(dir.Str()).m_nLogMaxMB, c.second) << c.first;
  }

  // The log goes to "Log" in that directory, in files named Tolvan<date>.log,
  // which "LogMaxMB" bounds (how the bound is kept is the log's own test).
  WriteFile(ini, "[Config]\nIP=127.0.0.9\nDebugLevel=2\nLogMaxMB=1\n");
  settings = ReadAgentSettings(dir.Str());
  EXPECT_EQ(settings.m_strIP, "127.0.0.9");
  ConfigureProcessLog(dir.Str(), settings.m_nDebugLevel, settings.m_nLogMaxMB);
  EXPECT_EQ(g_ProcessLog.GetLogLevel(), 2u);
  EXPECT_EQ(g_ProcessLog.GetMaxDirSize(), int64_t{1} << 20);
  g_ProcessLog.SetMaxDirSize(0);
  WriteProcessLog(0, 0, "log line of the settings test\n");
  CloseProcessLog();
  bool bFound = false;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "Log")) {
    const std::string strName = entry.path().filename().string();
    bFound |= strName.rfind("Tolvan", 0) == 0 && strName.size() == 6 + 10 + 4;
  }
  EXPECT_TRUE(bFound);

  // chEnvParm stays with the agent, without logLevel it is not routed; every
  // other name, a longer one too, goes to the dispatcher. (An unknown cloud
  // name from the socket to the dispatcher: AgentServes in every process test.)
  ConfigureProcessLog(dir.Str(), 3);
  RequestParams result;
  EXPECT_TRUE(RouteRequest({{"Fun", "chEnvParm"}, {"logLevel", "2"}}, result));
  EXPECT_TRUE(result.empty());
  EXPECT_EQ(g_ProcessLog.GetLogLevel(), 2u);
  EXPECT_FALSE(RouteRequest({{"Fun", "chEnvParm"}, {"level", "1"}}, result));
  EXPECT_TRUE(RouteRequest({{"Fun", "chEnvParmX"}, {"logLevel", "1"}}, result));
  EXPECT_EQ(result, (RequestParams{{"return", "-101"}}));
  EXPECT_EQ(g_ProcessLog.GetLogLevel(), 2u);
  CloseProcessLog();
}

}  // namespace
