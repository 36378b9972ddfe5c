#include "base/files/MyFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/files/FileSystem.h"
#ifdef _WIN32
#include <windows.h>
#endif
#include "base/system/ExePath.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kSep(1, g_cFsPathSep);

void WriteText(const std::string& strPath, const std::string& strText) {
  std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
  out << strText;
}

std::string ReadText(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class MyFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Ok()); }
  std::string P(const std::string& strName) const { return m_dir.Join(strName); }
  CTempDir m_dir{"tolvan-files"};
};

}  // namespace

TEST(PathSplit, BothSeparatorsAreRecognised) {
  EXPECT_STREQ(CMyFile::ExtractFileName("a/b\\c.txt"), "c.txt");
  EXPECT_STREQ(CMyFile::ExtractFileName("a\\b/c.txt"), "c.txt");
  EXPECT_STREQ(CMyFile::ExtractFileName("c.txt"), "c.txt");
  EXPECT_STREQ(CMyFile::ExtractFileName("dir/"), "");

  char szPath[] = "x\\y/z\\name.log";
  EXPECT_STREQ(CMyFile::ExtractFileDir(szPath), "x\\y/z");
  char szBare[] = "name.log";
  EXPECT_STREQ(CMyFile::ExtractFileDir(szBare), "name.log");

  char szOut[64];
  CMyFile::ExtractFileDir("a/b\\c.txt", szOut);
  EXPECT_STREQ(szOut, "a/b");
  CMyFile::ExtractFileDir("c.txt", szOut);
  EXPECT_STREQ(szOut, "c.txt");
  CMyFile::ExtractFileName("a/b\\c.txt", szOut);
  EXPECT_STREQ(szOut, "c.txt");
  CMyFile::ExtractFileName("plain", szOut);
  EXPECT_STREQ(szOut, "plain");
}

TEST(MyFileNames, FullNameSplitsAtTheNativeSeparator) {
  CMyFile f;
  char szBuf[CMyFile::kMaxFullName];
  f.SetFullName("bare.txt");
  f.GetFilePath(szBuf);
  EXPECT_STREQ(szBuf, "");
  f.GetFullName(szBuf);
  EXPECT_STREQ(szBuf, "bare.txt");

  std::string strFull = "dir" + kSep + "sub" + kSep + "f.dat";
  CMyFile g(strFull.c_str());
  g.GetFilePath(szBuf);
  EXPECT_EQ(std::string(szBuf), "dir" + kSep + "sub");
  g.GetFileName(szBuf);
  EXPECT_STREQ(szBuf, "f.dat");
  g.GetFullName(szBuf);
  EXPECT_EQ(std::string(szBuf), strFull);

  // A separator only in front: no directory, the whole text is the name.
  std::string strLead = kSep + "f.dat";
  g.SetFullName(strLead.c_str());
  g.GetFilePath(szBuf);
  EXPECT_STREQ(szBuf, "");
  g.GetFileName(szBuf);
  EXPECT_EQ(std::string(szBuf), strLead);
}

TEST(MyFileNames, OverlongPartsAreRefusedAndTheOldNameKept) {
  CMyFile f;
  f.SetFullName(("d" + kSep + "keep.txt").c_str());
  std::string strLong(300, 'n');
  f.SetFileName(strLong.c_str());
  f.SetFullName(("d" + kSep + strLong).c_str());
  f.SetFullName((strLong + kSep + "x").c_str());
  f.SetFilePath(strLong.c_str());
  char szBuf[CMyFile::kMaxFullName];
  f.GetFullName(szBuf);
  EXPECT_EQ(std::string(szBuf), "d" + kSep + "keep.txt");
  // The largest parts that fit make the largest full name, which fits too.
  std::string strDir(255, 'd');
  std::string strName(255, 'n');
  f.SetFullName((strDir + kSep + strName).c_str());
  f.GetFullName(szBuf);
  EXPECT_EQ(std::string(szBuf), strDir + kSep + strName);
}

TEST_F(MyFileTest, SetFilePathCreatesLevelsAndDropsTheTrailingSeparator) {
  std::string strDir = P("one") + kSep + "two" + kSep;
  CMyFile f;
  f.SetFilePath(strDir.c_str());
  char szBuf[CMyFile::kMaxFullName];
  f.GetFilePath(szBuf);
  EXPECT_EQ(std::string(szBuf), P("one") + kSep + "two");
  EXPECT_TRUE(CMyFile::DirIsExist(szBuf));
  EXPECT_FALSE(CMyFile::FileIsExist(szBuf));
}

TEST(MyFileNames, EmptyPathIsTheExecutablesDirectory) {
  char szExe[CMyFile::kMaxFullName];
  ASSERT_TRUE(GetExePath(szExe, sizeof(szExe)));
  *std::strrchr(szExe, GetExePathSeparator()) = '\0';
  CMyFile f;
  f.SetFilePath("");
  char szBuf[CMyFile::kMaxFullName];
  f.GetFilePath(szBuf);
  EXPECT_STREQ(szBuf, szExe);
}

TEST_F(MyFileTest, MakeDirectoryAcceptsBothSeparators) {
  std::string strPath = P("a") + "/b\\c/";
  CMyFile::MakeDirectory(strPath.c_str());
  if (g_cFsPathSep == '\\') {
    EXPECT_TRUE(CMyFile::DirIsExist((P("a") + "\\b\\c").c_str()));
  } else {
    EXPECT_TRUE(CMyFile::DirIsExist((P("a") + "/b\\c").c_str()));  // '\\' is a name byte on POSIX
    std::string strBoth = P("x") + "\\y/z";
    CMyFile::MakeDirectory(strBoth.c_str());
    EXPECT_TRUE(CMyFile::DirIsExist(strBoth.c_str()));
  }
  CMyFile::MakeDirectory(nullptr);
  CMyFile::MakeDirectory("");
  std::string strLong(600, 'q');
  CMyFile::MakeDirectory((P("") + strLong).c_str());  // refused, no crash
}

TEST_F(MyFileTest, OpenWithoutNameUsesTempfile) {
  CMyFile f;
  f.SetFilePath(m_dir.Str().c_str());
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeOut | CMyFile::kModeBinary));
  EXPECT_TRUE(f.IsFileOpen());
  const unsigned char data[] = {'h', 'i'};
  EXPECT_TRUE(f.WriteToFile(data, 2));
  f.CloseFile();
  EXPECT_FALSE(f.IsFileOpen());
  EXPECT_EQ(ReadText(P("tempfile~")), "hi");
}

TEST_F(MyFileTest, OpenCreatesAMissingDirectory) {
  std::string strFull = P("new") + kSep + "deeper" + kSep + "f.txt";
  CMyFile f(strFull.c_str());
  EXPECT_FALSE(CMyFile::DirIsExist((P("new")).c_str()));  // SetFullName creates nothing
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeOut));
  f.CloseFile();
  EXPECT_TRUE(CMyFile::FileIsExist(strFull.c_str()));
  // A file that cannot be opened leaves the object closed and usable.
  CMyFile g(P("missing.txt").c_str());
  EXPECT_FALSE(g.OpenFile(CMyFile::kModeIn));
  EXPECT_FALSE(g.IsFileOpen());
}

TEST_F(MyFileTest, ShortReadReportsWhatItGot) {
  WriteText(P("r.bin"), std::string(140, 'r'));
  CMyFile f(P("r.bin").c_str());
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeIn | CMyFile::kModeBinary));
  unsigned char buf[100];
  unsigned n = 99;
  EXPECT_TRUE(f.ReadFromFile(buf, 100, n));
  EXPECT_EQ(n, 100u);
  EXPECT_FALSE(f.ReadFromFile(buf, 100, n));
  EXPECT_EQ(n, 40u);
  EXPECT_FALSE(f.ReadFromFile(buf, 100, n));
  EXPECT_EQ(n, 0u);
  // The stream stays usable after the failures.
  EXPECT_TRUE(f.SetFileReadPtrPos(130));
  EXPECT_FALSE(f.ReadFromFile(buf, 100, n));
  EXPECT_EQ(n, 10u);
}

TEST_F(MyFileTest, LineReadsRespectTheBuffer) {
  WriteText(P("l.txt"), "abcdefghijklmnopqrstuvwxy\nsecond\nlast");
  CMyFile f(P("l.txt").c_str());
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeIn | CMyFile::kModeBinary));
  char buf[10];
  unsigned n = 0;
  EXPECT_FALSE(f.GetLineFromFile(buf, sizeof(buf), n));
  EXPECT_STREQ(buf, "abcdefghi");
  EXPECT_EQ(n, 9u);
  std::string strRest;
  EXPECT_TRUE(f.GetLineFromFile(strRest));
  EXPECT_EQ(strRest, "jklmnopqrstuvwxy");
  EXPECT_TRUE(f.GetLineFromFile(buf, sizeof(buf), n));
  EXPECT_STREQ(buf, "second");
  EXPECT_EQ(n, 7u);  // the line end counts
  EXPECT_TRUE(f.GetLineFromFile(buf, sizeof(buf), n));
  EXPECT_STREQ(buf, "last");
  EXPECT_TRUE(f.Eof());
  EXPECT_FALSE(f.GetLineFromFile(buf, sizeof(buf), n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(f.GetLineFromFile(buf, 0, n));
}

TEST_F(MyFileTest, WriteOnAReadOnlyStreamFailsAndRecovers) {
  WriteText(P("ro.txt"), "0123456789");
  CMyFile f(P("ro.txt").c_str());
  ASSERT_TRUE(f.OpenFile(CMyFile::kModeIn | CMyFile::kModeBinary));
  const unsigned char data[] = {'x'};
  EXPECT_FALSE(f.WriteToFile(data, 1));
  unsigned char buf[4];
  unsigned n = 0;
  EXPECT_TRUE(f.MoveReadPtrFromCur(3));
  EXPECT_TRUE(f.ReadFromFile(buf, 4, n));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "3456");
  unsigned nPos = 0;
  EXPECT_TRUE(f.GetFileReadPtrPos(nPos));
  EXPECT_EQ(nPos, 7u);
  unsigned nSize = 0;
  EXPECT_TRUE(f.GetFileSize(nSize));
  EXPECT_EQ(nSize, 10u);
  EXPECT_TRUE(f.GetFileReadPtrPos(nPos));
  EXPECT_EQ(nPos, 7u);  // the size query puts the position back
}

TEST_F(MyFileTest, CertainSizeFiles) {
  std::string strFill = P("fill.bin");
  ASSERT_TRUE(CMyFile::CreateCertainSizeFile(strFill.c_str(), 10000, true));
  std::string strData = ReadText(strFill);
  EXPECT_EQ(strData.size(), 10000u);
  EXPECT_EQ(std::count(strData.begin(), strData.end(), '\0'), 10000);
  // Filling does not shorten a larger file; sizing does.
  ASSERT_TRUE(CMyFile::CreateCertainSizeFile(strFill.c_str(), 100, true));
  int64_t n = 0;
  ASSERT_TRUE(CMyFile::GetFileSize64(strFill.c_str(), n));
  EXPECT_EQ(n, 10000);
  ASSERT_TRUE(CMyFile::CreateCertainSizeFile(strFill.c_str(), 100, false));
  ASSERT_TRUE(CMyFile::GetFileSize64(strFill.c_str(), n));
  EXPECT_EQ(n, 100);
  EXPECT_TRUE(CMyFile::CreateCertainSizeFile64(P("zero.bin").c_str(), 0, true));
  EXPECT_TRUE(CMyFile::FileIsExist(P("zero.bin").c_str()));
  EXPECT_FALSE(CMyFile::CreateCertainSizeFile64(P("neg.bin").c_str(), -1, true));
  EXPECT_FALSE(CMyFile::CreateCertainSizeFile64(P("neg2.bin").c_str(), -1, false));
  EXPECT_FALSE(CMyFile::CreateCertainSizeFile64(P("no") .append(kSep).append("x").c_str(), 1, false));
}

TEST_F(MyFileTest, SparseSizesBeyondFourGiB) {
  std::string strPath = P("big.log");
  EXPECT_FALSE(CMyFile::SetFileSize64(strPath.c_str(), 1));  // existing files only
  WriteText(strPath, "head");
  const int64_t nBig = (int64_t{5} << 30) + 123;
  ASSERT_TRUE(CMyFile::SetFileSize64(strPath.c_str(), nBig));
  int64_t n = 0;
  ASSERT_TRUE(CMyFile::GetFileSize64(strPath.c_str(), n));
  EXPECT_EQ(n, nBig);
  unsigned nLow = 0;
  ASSERT_TRUE(CMyFile::GetFileSize(strPath.c_str(), nLow));
  EXPECT_EQ(nLow, (1u << 30) + 123u);
  CMyFile f(strPath.c_str());
  int64_t nInst = 0;
  ASSERT_TRUE(f.GetFileSize64(nInst));
  EXPECT_EQ(nInst, nBig);
  EXPECT_FALSE(f.IsFileOpen());
  ASSERT_TRUE(CMyFile::SetFileSize(strPath.c_str(), 2));
  EXPECT_EQ(ReadText(strPath), "he");
  EXPECT_FALSE(CMyFile::SetFileSize64(strPath.c_str(), -5));
  EXPECT_FALSE(CMyFile::GetFileSize64(m_dir.Str().c_str(), n));  // a directory has no size here
}

TEST_F(MyFileTest, CopyAndCompare) {
  WriteText(P("e1"), "");
  WriteText(P("e2"), "");
  EXPECT_TRUE(CMyFile::IsSameContent(P("e1").c_str(), P("e2").c_str()));
  std::string strData;
  for (int i = 0; i < 3000; ++i) strData += static_cast<char>(i * 7);
  WriteText(P("src"), strData);
  WriteText(P("dst"), std::string(20000, 'z'));  // emptied by the copy
  ASSERT_TRUE(CMyFile::BackUpFile(P("src").c_str(), P("dst").c_str()));
  EXPECT_EQ(ReadText(P("dst")), strData);
  EXPECT_TRUE(CMyFile::IsSameContent(P("src").c_str(), P("dst").c_str()));
  std::string strOther = strData;
  strOther[strOther.size() - 1] ^= 1;  // differs in the second block only
  WriteText(P("other"), strOther);
  EXPECT_FALSE(CMyFile::IsSameContent(P("src").c_str(), P("other").c_str()));
  EXPECT_FALSE(CMyFile::IsSameContent(P("src").c_str(), P("e1").c_str()));
  EXPECT_FALSE(CMyFile::IsSameContent(P("src").c_str(), P("none").c_str()));
  EXPECT_FALSE(CMyFile::BackUpFile(P("none").c_str(), P("dst2").c_str()));
  EXPECT_FALSE(CMyFile::FileIsExist(P("dst2").c_str()));
}

TEST_F(MyFileTest, DiskSpaceOnAnyPath) {
  unsigned nTotal = 0;
  unsigned nFree = 0;
  ASSERT_TRUE(CMyFile::QueryDiskSpaceMB(m_dir.Str().c_str(), nTotal, nFree));
  EXPECT_GT(nTotal, 0u);
  EXPECT_LE(nFree, nTotal);
  unsigned nTotal2 = 0;
  unsigned nFree2 = 0;
  std::string strMissing = P("not") + kSep + "yet" + kSep + "there.log";
  ASSERT_TRUE(CMyFile::QueryDiskSpaceMB(strMissing.c_str(), nTotal2, nFree2));
  EXPECT_EQ(nTotal2, nTotal);
  EXPECT_FALSE(CMyFile::QueryDiskSpaceMB("", nTotal2, nFree2));
}

TEST_F(MyFileTest, FindAllFilesFollowsTheMask) {
  CMyFile::MakeDirectory((P("old")).c_str());
  CMyFile::MakeDirectory((P("x.log")).c_str());
  WriteText(P("a.log"), "");
  WriteText(P("b.txt"), "");
  WriteText(P("old") + kSep + "in-old.log", "");
  WriteText(P("x.log") + kSep + "in-x.log", "");
  WriteText(P("x.log") + kSep + "in-x.txt", "");

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

  std::vector<std::string> vNone;
  CMyFile::FindAllFiles(P("absent").c_str(), "*.*", vNone, true, true);
  EXPECT_TRUE(vNone.empty());
}

TEST_F(MyFileTest, HiddenFilesOnlyWhenAsked) {
  if (g_cFsPathSep == '\\') GTEST_SKIP() << "hidden means a dot name on POSIX only";
  WriteText(P(".hidden.log"), "");
  WriteText(P("seen.log"), "");
  CMyFile::MakeDirectory(P(".cache.log").c_str());
  WriteText(P(".cache.log") + "/inner.log", "");
  std::vector<std::string> v;
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*.log", v, true, false);
  EXPECT_EQ(v, (std::vector<std::string>{P("seen.log")}));
  v.clear();
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*.log", v, true, true);
  std::sort(v.begin(), v.end());
  EXPECT_EQ(v, (std::vector<std::string>{P(".cache.log") + "/inner.log", P(".hidden.log"),
                                         P("seen.log")}));
}

#ifdef _WIN32
TEST_F(MyFileTest, HiddenAttributeFilesOnlyWhenAsked) {
  WriteText(P("secret.log"), "");
  WriteText(P("seen.log"), "");
  ASSERT_TRUE(::SetFileAttributesA(P("secret.log").c_str(), FILE_ATTRIBUTE_HIDDEN));
  std::vector<std::string> v;
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*.log", v, false, false);
  EXPECT_EQ(v, (std::vector<std::string>{P("seen.log")}));
  v.clear();
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*.log", v, false, true);
  std::sort(v.begin(), v.end());
  EXPECT_EQ(v, (std::vector<std::string>{P("secret.log"), P("seen.log")}));
  ::SetFileAttributesA(P("secret.log").c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

TEST_F(MyFileTest, LinkLoopsAreNotEntered) {
  if (g_cFsPathSep == '\\') GTEST_SKIP() << "symbolic links need privileges on Windows";
  CMyFile::MakeDirectory(P("d").c_str());
  WriteText(P("d") + "/f.txt", "");
  std::error_code ec;
  std::filesystem::create_directory_symlink(m_dir.Str(), P("d") + "/back", ec);
  ASSERT_FALSE(ec);
  std::vector<std::string> v;
  CMyFile::FindAllFiles(m_dir.Str().c_str(), "*", v, true, true);
  EXPECT_EQ(v, (std::vector<std::string>{P("d") + "/f.txt"}));
}
