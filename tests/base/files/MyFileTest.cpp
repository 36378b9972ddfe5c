#include "base/files/MyFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/files/FileSystem.h"
#ifdef _WIN32
#include <windows.h>
#endif
#include "base/system/ExePath.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

const std::string kSep(1, g_cFsPathSep);

class MyFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Ok()); }
  std::string P(const std::string& strName) const { return m_dir.Join(strName); }
  CTempDir m_dir{"tolvan-files"};
};

}  // namespace

TEST(PathSplit, BothSeparatorsAreRecognised) {
  struct Case {
    const char *szPath, *szDir, *szName;
  } const cases[] = {
      {"a/b\\c.txt", "a/b", "c.txt"}, {"a\\b/c.txt", "a\\b", "c.txt"},
      {"x\\y/z\\name.log", "x\\y/z", "name.log"}, {"c.txt", "c.txt", "c.txt"},
  };
  char szOut[64];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.szPath);
    EXPECT_STREQ(CMyFile::ExtractFileName(c.szPath), c.szName);
    CMyFile::ExtractFileName(c.szPath, szOut);
    EXPECT_STREQ(szOut, c.szName);
    CMyFile::ExtractFileDir(c.szPath, szOut);
    EXPECT_STREQ(szOut, c.szDir);
    std::string strInPlace(c.szPath);
    EXPECT_STREQ(CMyFile::ExtractFileDir(&strInPlace[0]), c.szDir);
  }
  EXPECT_STREQ(CMyFile::ExtractFileName("dir/"), "");
}

TEST(MyFileNames, FullNameSplitsAtTheNativeSeparatorAndOverlongPartsAreRefused) {
  char szBuf[CMyFile::kMaxFullName];
  const std::string strFull = "dir" + kSep + "sub" + kSep + "f.dat";
  CMyFile f(strFull.c_str());
  f.GetFilePath(szBuf);
  EXPECT_EQ(std::string(szBuf), "dir" + kSep + "sub");
  f.GetFileName(szBuf);
  EXPECT_STREQ(szBuf, "f.dat");
  // A separator only in front: no directory, the whole text is the name.
  f.SetFullName((kSep + "f.dat").c_str());
  f.GetFilePath(szBuf);
  EXPECT_STREQ(szBuf, "");
  f.GetFileName(szBuf);
  EXPECT_EQ(std::string(szBuf), kSep + "f.dat");

  f.SetFullName(("d" + kSep + "keep.txt").c_str());
  const std::string strLong(300, 'n');
  f.SetFileName(strLong.c_str());
  f.SetFullName(("d" + kSep + strLong).c_str());
  f.SetFullName((strLong + kSep + "x").c_str());
  f.SetFilePath(strLong.c_str());
  f.GetFullName(szBuf);
  EXPECT_EQ(std::string(szBuf), "d" + kSep + "keep.txt");
  // The largest parts that fit make the largest full name, which fits too.
  const std::string strMax = std::string(255, 'd') + kSep + std::string(255, 'n');
  f.SetFullName(strMax.c_str());
  f.GetFullName(szBuf);
  EXPECT_EQ(std::string(szBuf), strMax);
}

TEST_F(MyFileTest, SetFilePathCreatesLevelsAndEmptyIsTheExecutablesDirectory) {
  CMyFile f;
  f.SetFilePath((P("one") + kSep + "two" + kSep).c_str());
  char szBuf[CMyFile::kMaxFullName];
  f.GetFilePath(szBuf);
  EXPECT_EQ(std::string(szBuf), P("one") + kSep + "two");
  EXPECT_TRUE(CMyFile::DirIsExist(szBuf));
  EXPECT_FALSE(CMyFile::FileIsExist(szBuf));

  char szExe[CMyFile::kMaxFullName];
  ASSERT_TRUE(GetExePath(szExe, sizeof(szExe)));
  *std::strrchr(szExe, GetExePathSeparator()) = '\0';
  f.SetFilePath("");
  f.GetFilePath(szBuf);
  EXPECT_STREQ(szBuf, szExe);
}

TEST_F(MyFileTest, MakeDirectorySplitsWhereTheSystemDoes) {
  CMyFile::MakeDirectory((P("a") + "/b\\c/").c_str());
  if (g_cFsPathSep == '\\') {
    EXPECT_TRUE(CMyFile::DirIsExist((P("a") + "\\b\\c").c_str()));
  } else {
    EXPECT_TRUE(CMyFile::DirIsExist((P("a") + "/b\\c").c_str()));  // '\\' is a name byte on POSIX
    EXPECT_FALSE(CMyFile::DirIsExist((P("a") + "/b").c_str())) << "no stray directory";
  }
  CMyFile::MakeDirectory(nullptr);
  CMyFile::MakeDirectory("");
  CMyFile::MakeDirectory((P("") + std::string(600, 'q')).c_str());  // refused, no crash
}

TEST_F(MyFileTest, OpenCreatesAMissingDirectoryOrUsesTempfile) {
  const std::string strFull = P("new") + kSep + "deeper" + kSep + "f.txt";
  CMyFile f(strFull.c_str());
  EXPECT_FALSE(CMyFile::DirIsExist((P("new")).c_str()));  // SetFullName creates nothing
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeOut));
  f.CloseFile();
  EXPECT_TRUE(CMyFile::FileIsExist(strFull.c_str()));

  CMyFile t;
  t.SetFilePath(m_dir.Str().c_str());
  ASSERT_TRUE(t.OpenFile(CMyFile::kModeOut | CMyFile::kModeBinary));
  const unsigned char data[] = {'h', 'i'};
  EXPECT_TRUE(t.WriteToFile(data, 2));
  t.CloseFile();
  EXPECT_FALSE(t.IsFileOpen());
  EXPECT_EQ(ReadFile(P("tempfile~")), "hi");

  // A file that cannot be opened leaves the object closed.
  CMyFile g(P("missing.txt").c_str());
  EXPECT_FALSE(g.OpenFile(CMyFile::kModeIn));
  EXPECT_FALSE(g.IsFileOpen());
}

TEST_F(MyFileTest, ReadsRespectTheBufferAndFailuresLeaveTheStreamUsable) {
  WriteFile(P("r.bin"), std::string(140, 'r'));
  CMyFile f(P("r.bin").c_str());
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeIn | CMyFile::kModeBinary));
  unsigned char buf[100];
  unsigned n = 99;
  EXPECT_TRUE(f.ReadFromFile(buf, 100, n) && n == 100u);
  EXPECT_FALSE(f.ReadFromFile(buf, 100, n));
  EXPECT_EQ(n, 40u);  // a short read reports what it got
  const unsigned char data[] = {'x'};
  EXPECT_FALSE(f.WriteToFile(data, 1));  // read-only stream
  EXPECT_TRUE(f.SetFileReadPtrPos(130));
  EXPECT_FALSE(f.ReadFromFile(buf, 100, n));
  EXPECT_EQ(n, 10u);
  EXPECT_TRUE(f.SetFileReadPtrPos(0) && f.MoveReadPtrFromCur(3));
  unsigned nPos = 0, nSize = 0;
  EXPECT_TRUE(f.GetFileSize(nSize) && nSize == 140u);
  EXPECT_TRUE(f.GetFileReadPtrPos(nPos) && nPos == 3u);  // the size query puts the position back

  WriteFile(P("l.txt"), "abcdefghijklmnopqrstuvwxy\nsecond\nlast");
  CMyFile g(P("l.txt").c_str());
  ASSERT_TRUE(g.OpenFile(CMyFile::kModeIn | CMyFile::kModeBinary));
  char line[10];
  EXPECT_FALSE(g.GetLineFromFile(line, sizeof(line), n));
  EXPECT_STREQ(line, "abcdefghi");
  std::string strRest;
  EXPECT_TRUE(g.GetLineFromFile(strRest) && strRest == "jklmnopqrstuvwxy") << strRest;
  EXPECT_TRUE(g.GetLineFromFile(line, sizeof(line), n));
  EXPECT_STREQ(line, "second");
  EXPECT_EQ(n, 7u);  // the line end counts
  EXPECT_TRUE(g.GetLineFromFile(line, sizeof(line), n));
  EXPECT_STREQ(line, "last");
  EXPECT_TRUE(g.Eof());
  EXPECT_FALSE(g.GetLineFromFile(line, sizeof(line), n));
  EXPECT_FALSE(g.GetLineFromFile(line, 0, n));
}

TEST_F(MyFileTest, CertainSizeAndSparseFiles) {
  const std::string strFill = P("fill.bin");
  ASSERT_TRUE(CMyFile::CreateCertainSizeFile(strFill.c_str(), 10000, true));
  EXPECT_EQ(ReadFile(strFill), std::string(10000, '\0'));
  // Filling does not shorten a larger file; sizing does.
  int64_t n = 0;
  ASSERT_TRUE(CMyFile::CreateCertainSizeFile(strFill.c_str(), 100, true));
  ASSERT_TRUE(CMyFile::GetFileSize64(strFill.c_str(), n));
  EXPECT_EQ(n, 10000);
  ASSERT_TRUE(CMyFile::CreateCertainSizeFile(strFill.c_str(), 100, false));
  ASSERT_TRUE(CMyFile::GetFileSize64(strFill.c_str(), n));
  EXPECT_EQ(n, 100);
  EXPECT_FALSE(CMyFile::CreateCertainSizeFile64(P("neg.bin").c_str(), -1, true));
  EXPECT_FALSE(CMyFile::CreateCertainSizeFile64((P("no") + kSep + "x").c_str(), 1, false));

  // Sparse sizes beyond 4 GiB, on existing files only.
  const std::string strPath = P("big.log");
  EXPECT_FALSE(CMyFile::SetFileSize64(strPath.c_str(), 1));
  WriteFile(strPath, "head");
  const int64_t nBig = (int64_t{5} << 30) + 123;
  ASSERT_TRUE(CMyFile::SetFileSize64(strPath.c_str(), nBig));
  ASSERT_TRUE(CMyFile::GetFileSize64(strPath.c_str(), n));
  EXPECT_EQ(n, nBig);
  unsigned nLow = 0;
  ASSERT_TRUE(CMyFile::GetFileSize(strPath.c_str(), nLow));
  EXPECT_EQ(nLow, (1u << 30) + 123u);
  int64_t nInst = 0;
  ASSERT_TRUE(CMyFile(strPath.c_str()).GetFileSize64(nInst));
  EXPECT_EQ(nInst, nBig);
  ASSERT_TRUE(CMyFile::SetFileSize(strPath.c_str(), 2));
  EXPECT_EQ(ReadFile(strPath), "he");
  EXPECT_FALSE(CMyFile::SetFileSize64(strPath.c_str(), -5));
  EXPECT_FALSE(CMyFile::GetFileSize64(m_dir.Str().c_str(), n));  // a directory has no size here
}

TEST_F(MyFileTest, CopyAndCompare) {
  WriteFile(P("e1"), "");
  WriteFile(P("e2"), "");
  EXPECT_TRUE(CMyFile::IsSameContent(P("e1").c_str(), P("e2").c_str()));
  std::string strData;
  for (int i = 0; i < 3000; ++i) strData += static_cast<char>(i * 7);
  WriteFile(P("src"), strData);
  WriteFile(P("dst"), std::string(20000, 'z'));  // emptied by the copy
  ASSERT_TRUE(CMyFile::BackUpFile(P("src").c_str(), P("dst").c_str()));
  EXPECT_EQ(ReadFile(P("dst")), strData);
  EXPECT_TRUE(CMyFile::IsSameContent(P("src").c_str(), P("dst").c_str()));
  strData.back() ^= 1;  // differs in the second block only
  WriteFile(P("other"), strData);
  EXPECT_FALSE(CMyFile::IsSameContent(P("src").c_str(), P("other").c_str()));
  EXPECT_FALSE(CMyFile::IsSameContent(P("src").c_str(), P("e1").c_str()));
  EXPECT_FALSE(CMyFile::IsSameContent(P("src").c_str(), P("none").c_str()));
  EXPECT_FALSE(CMyFile::BackUpFile(P("none").c_str(), P("dst2").c_str()));
  EXPECT_FALSE(CMyFile::FileIsExist(P("dst2").c_str()));
}

TEST_F(MyFileTest, DiskSpaceOnAnyPath) {
  unsigned nTotal = 0, nFree = 0, nTotal2 = 0, nFree2 = 0;
  ASSERT_TRUE(CMyFile::QueryDiskSpaceMB(m_dir.Str().c_str(), nTotal, nFree));
  EXPECT_GT(nTotal, 0u);
  EXPECT_LE(nFree, nTotal);
  std::string strMissing = P("not") + kSep + "yet" + kSep + "there.log";
  ASSERT_TRUE(CMyFile::QueryDiskSpaceMB(strMissing.c_str(), nTotal2, nFree2));
  EXPECT_EQ(nTotal2, nTotal);
  EXPECT_FALSE(CMyFile::QueryDiskSpaceMB("", nTotal2, nFree2));
}

TEST_F(MyFileTest, FindAllFilesFollowsTheMaskAndListsHiddenFilesOnlyWhenAsked) {
  CMyFile::MakeDirectory((P("old")).c_str());
  CMyFile::MakeDirectory((P("x.log")).c_str());
  WriteFile(P("a.log"), "");
  WriteFile(P("b.txt"), "");
  WriteFile(P("old") + kSep + "in-old.log", "");
  WriteFile(P("x.log") + kSep + "in-x.log", "");
  WriteFile(P("x.log") + kSep + "in-x.txt", "");
  // Hidden means a dot name on POSIX and the attribute on Windows.
  const std::string strHidden = P(g_cFsPathSep == '/' ? ".hidden.log" : "secret.log");
  WriteFile(strHidden, "");
#ifdef _WIN32
  ASSERT_TRUE(::SetFileAttributesA(strHidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
#endif

  std::vector<std::string> v{"kept"};
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*.log", v, true, false);
  std::sort(v.begin(), v.end());
  std::vector<std::string> want{P("a.log"), P("x.log") + kSep + "in-x.log", "kept"};
  std::sort(want.begin(), want.end());
  EXPECT_EQ(v, want);

  std::vector<std::string> vFlat;
  std::string strWithSep = m_dir.Str() + kSep;
  CMyFile::FindAllFiles(strWithSep.c_str(), "*.*", vFlat, false, false);
  std::sort(vFlat.begin(), vFlat.end());
  EXPECT_EQ(vFlat, (std::vector<std::string>{P("a.log"), P("b.txt")}));
  vFlat.clear();
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*.log", vFlat, false, true);
  std::sort(vFlat.begin(), vFlat.end());
  want = {strHidden, P("a.log")};
  std::sort(want.begin(), want.end());
  EXPECT_EQ(vFlat, want) << "hidden files only when asked";

  vFlat.clear();
  CMyFile::FindAllFiles(P("absent").c_str(), "*.*", vFlat, true, true);
  EXPECT_TRUE(vFlat.empty());
}

TEST_F(MyFileTest, LinkLoopsAreNotEntered) {
  if (g_cFsPathSep == '\\') GTEST_SKIP() << "symbolic links need privileges on Windows";
  CMyFile::MakeDirectory(P("d").c_str());
  WriteFile(P("d") + "/f.txt", "");
  std::error_code ec;
  std::filesystem::create_directory_symlink(m_dir.Str(), P("d") + "/back", ec);
  ASSERT_FALSE(ec);
  std::vector<std::string> v;
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*", v, true, true);
  EXPECT_EQ(v, (std::vector<std::string>{P("d") + "/f.txt"}));
}
