#include "base/logging/ProcessLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/system/Process.h"
#include "tests/support/ProcessLogFiles.h"
#include "tests/support/TempDir.h"

namespace {

// Points the process log at a temporary directory, as the application's
// start-up configures it, and puts everything back afterwards.
class ProcessLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Ok());
    LogTo(m_dir.Path(), 3);
  }
  void TearDown() override {
    CloseProcessLog();  // before the directory goes: Windows keeps open files
    g_ProcessLog.SetClock(LogClock());
    g_ProcessLog.SetLogLevel(10);
  }

  CTempDir m_dir{"tolvan-plog"};
};

}  // namespace

// Eight threads log at once; every clock reading is a new millisecond, so a
// borrowed or garbled stamp shows up as a duplicate or a malformed line. A line
// above the threshold goes nowhere, one longer than the buffer is cut.
TEST_F(ProcessLogTest, ConcurrentLinesStayWholeAndLongOnesAreCut) {
  constexpr int kThreads = 8, kLines = 10000;
  WriteProcessLog(1, 4, "too detailed\n");
  std::atomic<int> nTick{0};
  g_ProcessLog.SetClock([&nTick] {
    return CMyDatetime(2026, 12, 4, 0, 0, 0, nTick.fetch_add(1, std::memory_order_relaxed));
  });
  const std::string strPayload(100, 'p');
  std::vector<std::thread> vThreads;
  for (int t = 0; t < kThreads; ++t) {
    vThreads.emplace_back([t, &strPayload] {
      for (int i = 0; i < kLines; ++i) WriteProcessLog(1, 3, "T%d L%05d %s\n", t, i, strPayload.c_str());
    });
  }
  for (auto& th : vThreads) th.join();
  WriteProcessLog(1, 3, "%s", std::string(6000, 'w').c_str());
  std::istringstream in(ReadProcessLog(m_dir.Path()));
  std::vector<std::string> v;
  for (std::string s; std::getline(in, s);) v.push_back(s);
  ASSERT_EQ(v.size(), static_cast<size_t>(kThreads * kLines + 1));
  EXPECT_EQ(v.back().size(), CWriteLog::kBufferSize - 2);  // cut, then its own line end
  v.pop_back();
  char szPrefix[64];
  std::snprintf(szPrefix, sizeof(szPrefix), "][%08lu][01:03] T", GetCurrentPid());
  const std::string strPrefix = szPrefix;
  std::set<std::string> stamps;
  std::vector<int> vNext(kThreads, 0);
  int nBad = 0;
  for (const std::string& s : v) {
    // [2026-12-04 hh:mm:ss.mmm][pid][01:03] T<t> L<nnnnn> <payload>: each thread's lines arrive
    // whole and in its own order.
    int hh = -1, mm = -1, ss = -1, ms = -1;
    const int t = s.size() > 24 + strPrefix.size() ? s[24 + strPrefix.size()] - '0' : -1;
    const bool bThread = t >= 0 && t < kThreads;
    char szRest[32] = "";
    if (bThread) std::snprintf(szRest, sizeof(szRest), "%d L%05d ", t, vNext[t]++);
    if (!bThread || std::sscanf(s.c_str(), "[2026-12-04 %2d:%2d:%2d.%3d", &hh, &mm, &ss, &ms) != 4 ||
        s.compare(24, std::string::npos, strPrefix + szRest + strPayload) != 0) {
      if (++nBad < 5) ADD_FAILURE() << "malformed or out of order: " << s;
    }
    stamps.insert(s.substr(0, 25));
  }
  EXPECT_EQ(nBad, 0);
  EXPECT_EQ(stamps.size(), v.size());
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(vNext[t], kLines) << "thread " << t;
}
