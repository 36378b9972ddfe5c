#include "base/system/ExePath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string ExePathOrEmpty() {
  char szPath[4096];
  return GetExePath(szPath, sizeof(szPath)) ? std::string(szPath) : std::string();
}

}  // namespace

TEST(ExePath, NamesThisTestExecutable) {
  std::string strPath = ExePathOrEmpty();
  ASSERT_FALSE(strPath.empty());
  size_t nSep = strPath.rfind(GetExePathSeparator());
  ASSERT_NE(nSep, std::string::npos) << strPath;
  std::string strName = strPath.substr(nSep + 1);
  EXPECT_EQ(strName.rfind("test_base_system", 0), 0u) << strPath;

  std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
  ASSERT_NE(pFile, nullptr) << strPath;
  std::fclose(pFile);
}

TEST(ExePath, FailsRatherThanCutsAndNeverWritesPastTheBuffer) {
  std::string strPath = ExePathOrEmpty();
  ASSERT_FALSE(strPath.empty());
  const int nExact = static_cast<int>(strPath.size()) + 1;

  // Guard bytes after the space the callee may use.
  std::vector<char> vecBuf(static_cast<size_t>(nExact) + 16, '#');
  ASSERT_TRUE(GetExePath(vecBuf.data(), nExact));
  EXPECT_EQ(std::string(vecBuf.data()), strPath);

  for (int nSize : {nExact - 1, nExact / 2, 1}) {
    std::fill(vecBuf.begin(), vecBuf.end(), '#');
    EXPECT_FALSE(GetExePath(vecBuf.data(), nSize)) << nSize;
    EXPECT_EQ(vecBuf[0], '\0') << nSize;
    for (size_t i = static_cast<size_t>(nSize); i < vecBuf.size(); ++i) {
      ASSERT_EQ(vecBuf[i], '#') << "byte " << i << " written with size " << nSize;
    }
  }

  EXPECT_FALSE(GetExePath(vecBuf.data(), 0));
  EXPECT_FALSE(GetExePath(vecBuf.data(), -5));
  EXPECT_FALSE(GetExePath(nullptr, 100));
}
