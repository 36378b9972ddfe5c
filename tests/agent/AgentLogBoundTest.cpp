// The agent's log as configured from its settings: "LogMaxMB" bounds every
// file in "Log" together, so a flood of logged requests cannot fill the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "agent/AgentSettings.h"
#include "base/logging/ProcessLog.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void CloseProcessLog() {
  CAutoMutexT<CBaseMutex> lock(g_ProcessLogLock);
  g_ProcessLog.CloseFile();
  g_ProcessLog.SetMaxDirSize(0);
}

TEST(AgentLogBound, SettingDefaultsToAQuarterGiBAndCannotBeLifted) {
  CTempDir dir("tolvan-agent");
  ASSERT_TRUE(dir.Ok());
  EXPECT_EQ(ReadAgentSettings(dir.Str()).m_nLogMaxMB, 256);
  const struct {
    const char* szValue;
    int nMB;
  } kCases[] = {{"3", 3}, {"4096", 4096}, {"0", 256}, {"-5", 256}, {"abc", 256}, {"", 256}};
  for (const auto& c : kCases) {
    std::ofstream(dir.Path() / "TolvanService.ini") << "[Config]\nLogMaxMB=" << c.szValue << "\n";
    EXPECT_EQ(ReadAgentSettings(dir.Str()).m_nLogMaxMB, c.nMB) << c.szValue;
  }
}

TEST(AgentLogBound, AFloodOfTracesStaysWithinTheBound) {
  CTempDir dir("tolvan-agent");
  ASSERT_TRUE(dir.Ok());
  std::ofstream(dir.Path() / "TolvanService.ini") << "[Config]\nDebugLevel=3\nLogMaxMB=1\n";
  const CServerSettings settings = ReadAgentSettings(dir.Str());
  ConfigureProcessLog(dir.Str(), settings.m_nDebugLevel, settings.m_nLogMaxMB);
  EXPECT_EQ(g_ProcessLog.GetMaxDirSize(), int64_t{1} << 20);

  // 2 MiB of request traces into a directory bounded at 1 MiB.
  const std::string strTrace(2000, 't');
  for (int i = 0; i < 1024; ++i) WriteProcessLog(1, 3, "request %d: %s\n", i, strTrace.c_str());
  CloseProcessLog();

  uintmax_t nTotal = 0;
  std::string strLog;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "Log")) {
    nTotal += entry.file_size();
    std::ifstream in(entry.path(), std::ios::binary);
    strLog.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_LE(nTotal, uintmax_t{1} << 20);
  EXPECT_GT(nTotal, (uintmax_t{1} << 20) - 4096) << "the bound is used up to the last line";
  EXPECT_NE(strLog.find("request 0: "), std::string::npos);
  EXPECT_EQ(strLog.find("request 1023: "), std::string::npos);
  EXPECT_NE(strLog.find("has reached its size bound of 1048576 bytes"), std::string::npos);
}

}  // namespace
