#include "base/files/MyFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/files/FileSystem.h"
#ifdef _WIN32
#include <windows.h>
#endif
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

TEST(MyFileNames, SplitsAndOverlongPartsAreRefused) {
  // Extracting splits at either separator on every platform.
  char szOut[CMyFile::kMaxFullName];
  EXPECT_STREQ(CMyFile::ExtractFileName("x\\y/z\\name.log"), "name.log");
  CMyFile::ExtractFileDir("a\\b/c.txt", szOut);
  EXPECT_STREQ(szOut, "a\\b");
  EXPECT_STREQ(CMyFile::ExtractFileName("dir/"), "");

  // The full name splits at the native separator only; a leading one is part of the name.
  CMyFile f(("dir" + kSep + "sub" + kSep + "f.dat").c_str());
  f.GetFilePath(szOut);
  EXPECT_EQ(std::string(szOut), "dir" + kSep + "sub");
  f.SetFullName((kSep + "f.dat").c_str());
  f.GetFilePath(szOut);
  EXPECT_STREQ(szOut, "");
  f.GetFileName(szOut);
  EXPECT_EQ(std::string(szOut), kSep + "f.dat");

  f.SetFullName(("d" + kSep + "keep.txt").c_str());
  const std::string strLong(300, 'n');
  f.SetFileName(strLong.c_str());
  f.SetFullName((strLong + kSep + "x").c_str());
  f.SetFilePath(strLong.c_str());
  f.GetFullName(szOut);
  EXPECT_EQ(std::string(szOut), "d" + kSep + "keep.txt");
  // The largest parts that fit make the largest full name, which fits too.
  const std::string strMax = std::string(255, 'd') + kSep + std::string(255, 'n');
  f.SetFullName(strMax.c_str());
  f.GetFullName(szOut);
  EXPECT_EQ(std::string(szOut), strMax);
}

TEST_F(MyFileTest, OpenReadAndWriteWithinTheBuffer) {
  // Opening creates a missing directory; an object without a name writes "tempfile~".
  const std::string strFull = P("new") + kSep + "deeper" + kSep + "f.txt";
  CMyFile f(strFull.c_str());
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeOut));
  f.CloseFile();
  EXPECT_TRUE(CMyFile::FileIsExist(strFull.c_str()));
  EXPECT_FALSE(CMyFile(P("missing.txt").c_str()).OpenFile(CMyFile::kModeIn));
  CMyFile t;
  t.SetFilePath((m_dir.Str() + kSep).c_str());  // a trailing separator too
  ASSERT_TRUE(t.OpenFile(CMyFile::kModeOut | CMyFile::kModeBinary));
  unsigned char buf[140] = {'h', 'i'};
  EXPECT_TRUE(t.WriteToFile(buf, 140));
  t.CloseFile();
  EXPECT_EQ(ReadFile(P("tempfile~")), "hi" + std::string(138, '\0'));

  ASSERT_TRUE(t.OpenFile(CMyFile::kModeIn | CMyFile::kModeBinary));
  unsigned n = 99;
  EXPECT_TRUE(t.ReadFromFile(buf, 100, n) && n == 100u);
  EXPECT_FALSE(t.ReadFromFile(buf, 100, n));
  EXPECT_EQ(n, 40u);  // a short read reports what it got
  EXPECT_FALSE(t.WriteToFile(buf, 1));  // read-only stream
  unsigned nPos = 0, nSize = 0;
  EXPECT_TRUE(t.SetFileReadPtrPos(3) && t.GetFileSize(nSize) && nSize == 140u);
  EXPECT_TRUE(t.GetFileReadPtrPos(nPos) && nPos == 3u);  // the size query puts the position back

  WriteFile(P("l.txt"), "abcdefghijklmnopqrstuvwxy\nlast");
  CMyFile g(P("l.txt").c_str());
  ASSERT_TRUE(g.OpenFile(CMyFile::kModeIn | CMyFile::kModeBinary));
  char line[10];
  EXPECT_FALSE(g.GetLineFromFile(line, sizeof(line), n));  // cut at the buffer
  EXPECT_STREQ(line, "abcdefghi");
  std::string strRest;
  EXPECT_TRUE(g.GetLineFromFile(strRest) && strRest == "jklmnopqrstuvwxy") << strRest;
  EXPECT_TRUE(g.GetLineFromFile(line, sizeof(line), n));
  EXPECT_STREQ(line, "last");
  EXPECT_FALSE(g.GetLineFromFile(line, 0, n));
}

TEST_F(MyFileTest, SizedSparseAndCopiedFiles) {
  const std::string strFill = P("fill.bin");
  ASSERT_TRUE(CMyFile::CreateCertainSizeFile(strFill.c_str(), 10000, true));
  EXPECT_EQ(ReadFile(strFill), std::string(10000, '\0'));

  // Sparse sizes beyond 4 GiB, on existing files only.
  const std::string strPath = P("big.log");
  EXPECT_FALSE(CMyFile::SetFileSize64(strPath.c_str(), 1));
  WriteFile(strPath, "head");
  const int64_t nBig = (int64_t{5} << 30) + 123;
  ASSERT_TRUE(CMyFile::SetFileSize64(strPath.c_str(), nBig));
  int64_t n = 0;
  ASSERT_TRUE(CMyFile(strPath.c_str()).GetFileSize64(n));
  EXPECT_EQ(n, nBig);
  unsigned nLow = 0;
  ASSERT_TRUE(CMyFile::GetFileSize(strPath.c_str(), nLow));
  EXPECT_EQ(nLow, (1u << 30) + 123u);
  ASSERT_TRUE(CMyFile::SetFileSize(strPath.c_str(), 2));
  EXPECT_EQ(ReadFile(strPath), "he");

  std::string strData;
  for (int i = 0; i < 3000; ++i) strData += static_cast<char>(i * 7);
  WriteFile(P("src"), strData);
  WriteFile(P("dst"), std::string(20000, 'z'));  // emptied by the copy
  ASSERT_TRUE(CMyFile::BackUpFile(P("src").c_str(), P("dst").c_str()));
  EXPECT_TRUE(CMyFile::IsSameContent(P("src").c_str(), P("dst").c_str()));
  strData.back() ^= 1;  // differs in the second block only
  WriteFile(P("dst"), strData);
  EXPECT_FALSE(CMyFile::IsSameContent(P("src").c_str(), P("dst").c_str()));

  // Disk space on a path that does not exist yet.
  unsigned nTotal = 0, nFree = 0;
  ASSERT_TRUE(CMyFile::QueryDiskSpaceMB(P("not" + kSep + "there.log").c_str(), nTotal, nFree));
  EXPECT_TRUE(nTotal > 0u && nFree <= nTotal);
}

TEST_F(MyFileTest, FindAllFilesFollowsTheMaskSkipsLinksAndHiddenFilesAndMakeDirectorySplits) {
  CMyFile::MakeDirectory((P("old")).c_str());
  CMyFile::MakeDirectory((P("x.log")).c_str());
  std::vector<std::string> vNames = {"a.log", "b.txt", "old" + kSep + "in-old.log"};
  for (const char* sz : {"in-x.log", "in-x.txt"}) vNames.push_back("x.log" + kSep + sz);
  for (const std::string& s : vNames) WriteFile(P(s), "");
  // Hidden means a dot name on POSIX and the attribute on Windows.
  const std::string strHidden = P(g_cFsPathSep == '/' ? ".hidden.log" : "secret.log");
  WriteFile(strHidden, "");
#ifdef _WIN32
  ASSERT_TRUE(::SetFileAttributesA(strHidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
  std::error_code ec;
  std::filesystem::create_directory_symlink(m_dir.Str(), P("x.log") + "/back.log", ec);
  ASSERT_FALSE(ec);  // a link loop, never entered
#endif
  auto Sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  std::vector<std::string> v{"kept"};  // found paths are appended
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*.log", v, true, false);
  EXPECT_EQ(Sorted(v), Sorted({P("a.log"), P("x.log") + kSep + "in-x.log", "kept"}));
  v.clear();
  CMyFile::FindAllFiles((m_dir.Str() + kSep).c_str(), "*.log", v, false, true);
  EXPECT_EQ(Sorted(v), Sorted({strHidden, P("a.log")})) << "hidden files only when asked";

  // Making a directory splits the path where the system does.
  CMyFile::MakeDirectory((P("a") + "/b\\c/").c_str());
  if (g_cFsPathSep == '\\') {
    EXPECT_TRUE(CMyFile::DirIsExist((P("a") + "\\b\\c").c_str()));
  } else {
    EXPECT_TRUE(CMyFile::DirIsExist((P("a") + "/b\\c").c_str()));  // '\\' is a name byte on POSIX
    EXPECT_FALSE(CMyFile::DirIsExist((P("a") + "/b").c_str())) << "no stray directory";
  }
  CMyFile::MakeDirectory(nullptr);
  CMyFile::MakeDirectory((P("") + std::string(600, 'q')).c_str());  // refused, no crash
}
