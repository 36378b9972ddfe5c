#include "base/system/ExePath.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

TEST(ExePath, NamesThisTestExecutableAndItsDirectoryAndFailsRatherThanCuts) {
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

  // The application path is the directory and keeps within its buffer.
  char szDir[4096];
  ASSERT_TRUE(GetAppPath(szDir, sizeof(szDir)));
  const std::string strDir(szDir);
  EXPECT_EQ(strDir, GetExeDir());
  EXPECT_EQ(strDir, strPath.substr(0, nSep)) << "cut at the last separator";
  const char cSep = GetExePathSeparator();
  EXPECT_EQ(JoinPath(strDir, "x"), strDir + cSep + "x");
  EXPECT_EQ(JoinPath(strDir + cSep, "x"), strDir + cSep + "x");
  EXPECT_EQ(JoinPath("", "x"), "x");

  // The whole file name must fit, even though only the directory is kept.
  const int nSize = nExact - 1;
  std::vector<char> vecBuf(static_cast<size_t>(nSize) + 8, '#');
  EXPECT_FALSE(GetAppPath(vecBuf.data(), nSize));
  EXPECT_EQ(vecBuf[0], '\0');
  EXPECT_EQ(vecBuf[static_cast<size_t>(nSize)], '#');
  EXPECT_TRUE(GetAppPath(vecBuf.data(), nSize + 1));
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
#else
TEST(ExePath, DirectoryIsTheTextBeforeTheLastSlash) {
  EXPECT_EQ(PathDirectory("/opt/tolvan/bin/Tolvan"), "/opt/tolvan/bin");
  EXPECT_EQ(PathDirectory("Tolvan"), "");
  EXPECT_EQ(PathDirectory("/a\\b"), "");
}
#endif
