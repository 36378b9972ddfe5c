// The size bound of a date log's directory: the oldest of the log's own files
// make room first, the file being written and other programs' files stay, and
// when nothing more can go the day's later lines are dropped after one line
// that says so, until space is freed or the date changes.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/files/FileSystem.h"
#include "base/logging/WriteDateLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

const std::string kSep(1, g_cFsPathSep);
const std::string kLine = std::string(99, 'l') + "\n";  // 100 bytes
const char kDropNote[] = "size bound";

void WriteSized(const std::string& strPath, size_t nBytes) {
  std::ofstream(strPath, std::ios::binary | std::ios::trunc) << std::string(nBytes, 'o');
}

size_t CountOf(const std::string& strText, const std::string& strWhat) {
  size_t nCount = 0;
  for (size_t n = strText.find(strWhat); n != std::string::npos; n = strText.find(strWhat, n + 1)) {
    ++nCount;
  }
  return nCount;
}

class LogDirBound : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Ok());
    m_strLogDir = m_dir.Join("Log");
    CMyFile::MakeDirectory(m_strLogDir.c_str());
    m_log.SetFilePath(m_strLogDir.c_str());
    m_log.SetClock([this] { return m_now; });
  }
  void TearDown() override { m_log.CloseFile(); }

  std::string In(const std::string& strName) const { return m_strLogDir + kSep + strName; }
  bool Exists(const std::string& strName) const {
    return CMyFile::FileIsExist(In(strName).c_str());
  }
  int64_t DirBytes() const {
    int64_t nTotal = 0;
    std::vector<FsEntry> vecEntries;
    FsFindEntries(m_strLogDir.c_str(), "*", vecEntries);
    for (const FsEntry& e : vecEntries) {
      int64_t nSize = 0;
      if (!e.bDirectory && FsPeekFileSize64(In(e.strName).c_str(), nSize)) nTotal += nSize;
    }
    return nTotal;
  }

  CTempDir m_dir{"tolvan-logbound"};
  std::string m_strLogDir;
  CMyDatetime m_now{2026, 12, 4, 10, 11, 12, 345};
  CWriteDateLog m_log{"Tolvan", "log", 7};
};

}  // namespace

TEST_F(LogDirBound, OldestOwnFilesGoFirstOthersAndTheCurrentFileStay) {
  // 6,000 bytes in the directory, the bound 6,000: every line must make room.
  const std::vector<std::string> vecOwnOldestFirst = {
      "Tolvan2026-12-01.log", "Tolvan2026-12-02.log0", "Tolvan2026-12-02.log2",
      "Tolvan2026-12-02.log"};
  for (const std::string& s : vecOwnOldestFirst) WriteSized(In(s), 1000);
  WriteSized(In("Tolvan2026-12-04.log"), 1000);       // today's: being written
  WriteSized(In("TolvanDaemon2026-11-01.log"), 500);  // another program's
  WriteSized(In("notes.txt"), 500);
  m_log.SetMaxDirSize(6000);

  // Each removal frees 1,000 bytes, room for 10 lines of 100 next to the
  // 256 bytes kept for the drop line: one file goes at line 1, 8, 18 and 28.
  const std::vector<unsigned> vecRemovedAfter = {1, 8, 18, 28};
  unsigned nLines = 0;
  for (size_t nGone = 0; nGone < vecRemovedAfter.size(); ++nGone) {
    for (; nLines < vecRemovedAfter[nGone] - 1; ++nLines) ASSERT_TRUE(m_log.Write(kLine.c_str()));
    EXPECT_TRUE(Exists(vecOwnOldestFirst[nGone])) << "line " << nLines;
    ASSERT_TRUE(m_log.Write(kLine.c_str()));
    ++nLines;
    for (size_t i = 0; i < vecOwnOldestFirst.size(); ++i) {
      EXPECT_EQ(Exists(vecOwnOldestFirst[i]), i > nGone)
          << vecOwnOldestFirst[i] << " line " << nLines;
    }
    EXPECT_LE(DirBytes(), 6000);
  }
  EXPECT_TRUE(Exists("TolvanDaemon2026-11-01.log"));
  EXPECT_TRUE(Exists("notes.txt"));
  m_log.CloseFile();
  EXPECT_EQ(ReadFile(In("Tolvan2026-12-04.log")).size(), 1000 + 100u * nLines);
  EXPECT_EQ(CountOf(ReadFile(In("Tolvan2026-12-04.log")), kDropNote), 0u);
}

TEST_F(LogDirBound, AFullDayIsDroppedWithOneLineUntilSpaceIsFreedOrTheDayEnds) {
  WriteSized(In("notes.txt"), 1000);  // not the log's: counted, never removed
  m_log.SetMaxDirSize(3000);
  const std::string strToday = In("Tolvan2026-12-04.log");

  // Lines are written while they leave 256 bytes free: 17 of them.
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(m_log.Write(kLine.c_str()));
  std::string strLog = ReadFile(strToday);
  EXPECT_EQ(CountOf(strLog, kLine), 17u);
  ASSERT_EQ(CountOf(strLog, kDropNote), 1u) << strLog;
  EXPECT_NE(strLog.find("[2026-12-04 10:11:12.345]  The log directory has reached its size bound "
                        "of 3000 bytes: later lines of 2026-12-04 are dropped"),
            std::string::npos)
      << strLog;
  EXPECT_LE(DirBytes(), 3000);
  EXPECT_TRUE(Exists("notes.txt"));

  // Space freed by someone else is found within the recheck interval.
  ASSERT_TRUE(CMyFile::RemoveFile(In("notes.txt").c_str()));
  for (unsigned i = 0; i < CWriteDateLog::kDropRecheckLines; ++i) {
    ASSERT_TRUE(m_log.Write(kLine.c_str()));
  }
  // The freed 1,000 bytes take some more lines (fewer than 10: the first
  // drop line stays), then the day is full again and says so once more.
  strLog = ReadFile(strToday);
  EXPECT_GT(CountOf(strLog, kLine), 17u);
  EXPECT_LT(CountOf(strLog, kLine), 27u);
  EXPECT_EQ(CountOf(strLog, kDropNote), 2u);
  EXPECT_LE(DirBytes(), 3000);

  // The next day writes again: yesterday's full file is the oldest and goes.
  m_now = CMyDatetime(2026, 12, 5, 0, 0, 1, 0);
  ASSERT_TRUE(m_log.Write("a new day\n"));
  m_log.CloseFile();
  EXPECT_FALSE(Exists("Tolvan2026-12-04.log"));
  EXPECT_EQ(ReadFile(In("Tolvan2026-12-05.log")), "a new day\n");
}

TEST_F(LogDirBound, WithoutABoundNothingIsRemovedOrDropped) {
  WriteSized(In("Tolvan2026-12-01.log"), 5000);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(m_log.Write(kLine.c_str()));
  m_log.CloseFile();
  EXPECT_TRUE(Exists("Tolvan2026-12-01.log"));
  EXPECT_EQ(ReadFile(In("Tolvan2026-12-04.log")).size(), 4000u);
}
