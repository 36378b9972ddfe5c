#include "base/search/AppPath.h"
#include "base/search/TimeOfDay.h"
#include "base/system/ExePath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

TEST(AppPath, IsTheExecutablesDirectoryAndKeepsWithinItsBuffer) {
  char szExe[4096];
  ASSERT_TRUE(GetExePath(szExe, sizeof(szExe)));
  const std::string strExe(szExe);
  const char cSep = GetExePathSeparator();
  char szDir[260];
  ASSERT_TRUE(GetAppPath(szDir, sizeof(szDir))) << "executable path longer than 259: " << strExe;
  const std::string strDir(szDir);
  ASSERT_FALSE(strDir.empty());
  EXPECT_NE(strDir.back(), cSep);
  EXPECT_EQ(strExe.substr(0, strDir.size() + 1), strDir + cSep);
  EXPECT_EQ(strExe.find(cSep, strDir.size() + 1), std::string::npos) << "not cut at the last separator";

  // The whole file name must fit, even though only the directory is kept.
  const int nSize = static_cast<int>(strExe.size());
  std::vector<char> vecBuf(static_cast<size_t>(nSize) + 8, '#');
  EXPECT_FALSE(GetAppPath(vecBuf.data(), nSize));
  EXPECT_EQ(vecBuf[0], '\0');
  EXPECT_TRUE(std::all_of(vecBuf.begin() + nSize, vecBuf.end(), [](char c) { return c == '#'; }));
  EXPECT_FALSE(GetAppPath(nullptr, 260));
  EXPECT_TRUE(GetAppPath(vecBuf.data(), nSize + 1));
}

TEST(TimeOfDay, MatchesTheSystemClock) {
  const std::time_t nBefore = std::time(nullptr);
  struct timeval tv {};
  EXPECT_EQ(gettimeofday(&tv, nullptr), 0);
  EXPECT_GE(static_cast<std::time_t>(tv.tv_sec), nBefore);
  EXPECT_LE(static_cast<std::time_t>(tv.tv_sec), std::time(nullptr));
  EXPECT_TRUE(tv.tv_usec >= 0 && tv.tv_usec < 1000000) << tv.tv_usec;
}

#ifdef _WIN32
TEST(TimeOfDay, WindowsResolutionIsOneMillisecond) {
  for (int i = 0; i < 50; ++i) {
    struct timeval tv {};
    ASSERT_EQ(gettimeofday(&tv, nullptr), 0);
    ASSERT_EQ(tv.tv_usec % 1000, 0) << tv.tv_usec;
  }
}
#endif
