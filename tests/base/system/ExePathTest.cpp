#include "base/system/ExePath.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

TEST(ExePath, NamesThisTestExecutableAndFailsRatherThanCuts) {
  char szPath[4096];
  ASSERT_TRUE(GetExePath(szPath, sizeof(szPath)));
  const std::string strPath(szPath);
  const size_t nSep = strPath.rfind(GetExePathSeparator());
  ASSERT_NE(nSep, std::string::npos) << strPath;
  EXPECT_EQ(strPath.compare(nSep + 1, 16, "test_base_system"), 0) << strPath;
  std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
  ASSERT_NE(pFile, nullptr) << strPath;
  std::fclose(pFile);

  // Guard bytes after the space the callee may use.
  const int nExact = static_cast<int>(strPath.size()) + 1;
  for (int nSize : {nExact, nExact - 1, nExact / 2, 1}) {
    std::vector<char> vecBuf(static_cast<size_t>(nExact) + 16, '#');
    EXPECT_EQ(GetExePath(vecBuf.data(), nSize), nSize == nExact) << nSize;
    EXPECT_EQ(std::string(vecBuf.data()), nSize == nExact ? strPath : "") << nSize;
    for (size_t i = static_cast<size_t>(nSize); i < vecBuf.size(); ++i) {
      ASSERT_EQ(vecBuf[i], '#') << "byte " << i << " written with size " << nSize;
    }
  }
  char c = '#';
  EXPECT_FALSE(GetExePath(&c, 0));
  EXPECT_FALSE(GetExePath(&c, -5));
  EXPECT_FALSE(GetExePath(nullptr, 100));
}
