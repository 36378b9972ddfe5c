#include "base/system/ExePath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

TEST(ExePath, NamesThisTestExecutableAndItsDirectoryAndFailsRatherThanCuts) {
  char szPath[4096];
  ASSERT_TRUE(GetExePath(szPath, sizeof(szPath)));
  const std::string strPath(szPath);
  const size_t nSep = strPath.rfind(GetExePathSeparator());
  ASSERT_NE(nSep, std::string::npos) << strPath;
  EXPECT_EQ(strPath.compare(nSep + 1, 16, "test_base_system"), 0) << strPath;
  EXPECT_TRUE(std::filesystem::is_regular_file(strPath)) << strPath;

  // Guard bytes after the space the callee may use.
  const int nExact = static_cast<int>(strPath.size()) + 1;
  for (int nSize : {nExact, nExact - 1}) {
    std::vector<char> vecBuf(static_cast<size_t>(nExact) + 16, '#');
    EXPECT_EQ(GetExePath(vecBuf.data(), nSize), nSize == nExact) << nSize;
    EXPECT_EQ(std::string(vecBuf.data()), nSize == nExact ? strPath : "") << nSize;
    for (size_t i = static_cast<size_t>(nSize); i < vecBuf.size(); ++i) {
      ASSERT_EQ(vecBuf[i], '#') << "byte " << i << " written with size " << nSize;
    }
  }
  char c = '#';
  EXPECT_FALSE(GetExePath(&c, -5));
  EXPECT_FALSE(GetExePath(nullptr, 100));

  // The directory: cut at the last separator.
  const std::string strDir = GetExeDir();
  EXPECT_EQ(strDir, strPath.substr(0, nSep));
  const char cSep = GetExePathSeparator();
  EXPECT_EQ(JoinPath(strDir, "x"), strDir + cSep + "x");
  EXPECT_EQ(JoinPath(strDir + cSep, "x"), strDir + cSep + "x");
  EXPECT_EQ(JoinPath("", "x"), "x");
  EXPECT_EQ(PathDirectory("Tolvan"), "");
  EXPECT_TRUE(cSep != '/' || PathDirectory("/a\\b").empty()) << "'\\' is a POSIX name byte";

  // GetAppPath gives the directory, yet the whole file name must fit.
  std::vector<char> vecBuf(static_cast<size_t>(nExact), '#');
  EXPECT_FALSE(GetAppPath(vecBuf.data(), nExact - 1));
  EXPECT_EQ(vecBuf[0], '\0');
  EXPECT_EQ(vecBuf.back(), '#');
  ASSERT_TRUE(GetAppPath(vecBuf.data(), nExact));
  EXPECT_EQ(std::string(vecBuf.data()), strDir);
}

#ifdef _WIN32
#include <mbctype.h>

// In the Chinese code page, 0x95 0x5C is one character whose second byte is
// the value of '\': it must not split the path.
TEST(ExePath, DoubleByteCharactersAreNotSeparators) {
  const int nOld = _getmbcp();
  ASSERT_EQ(_setmbcp(936), 0);
  const std::string strPath = "C:\\Tolvan\\\x95\x5C\\Tolvan.exe";
  EXPECT_EQ(PathDirectory(strPath), "C:\\Tolvan\\\x95\x5C");
  EXPECT_EQ(PathDirectory("C:\\\x95\x5C"), "C:");
  EXPECT_EQ(JoinPath("C:\\\x95\x5C", "a"), "C:\\\x95\x5C\\a");
  _setmbcp(nOld);
}
#endif
