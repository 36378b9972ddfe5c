#include "base/logging/WriteDateLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/files/FileSystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestText.h"

namespace {

const std::string kSep(1, g_cFsPathSep);
const std::string kLine = std::string(99, 'l') + "\n";  // 100 bytes
const char kDropNote[] = "size bound";

// A date log in a temporary directory with a clock the test moves by hand.
class DateLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.Ok());
    m_strLogDir = m_dir.Join("Log");
    m_log.SetFilePath(m_strLogDir.c_str());
    m_log.SetClock([this] { return m_now; });
  }
  // Windows refuses to delete an open file.
  void TearDown() override { m_log.CloseFile(); }

  std::string LogFile(const std::string& strDate) const { return In("Tolvan" + strDate + ".log"); }
  std::string In(const std::string& strName) const { return m_strLogDir + kSep + strName; }
  bool Exists(const std::string& strPath) const { return CMyFile::FileIsExist(strPath.c_str()); }
  uintmax_t DirBytes() const {
    uintmax_t nTotal = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_strLogDir)) {
      nTotal += e.is_regular_file() ? e.file_size() : 0;
    }
    return nTotal;
  }

  CTempDir m_dir{"tolvan-log"};
  std::string m_strLogDir;
  CMyDatetime m_now{2026, 12, 4, 10, 11, 12, 345};
  CWriteDateLog m_log{"Tolvan", "log", 7};
};

}  // namespace

TEST_F(DateLogTest, FirstWriteAppendsToTheDatedFileAndLevelsAboveTheThresholdAreSkipped) {
  CMyFile::MakeDirectory(m_strLogDir.c_str());
  WriteFile(LogFile("2026-12-04"), "earlier\n");
  ASSERT_TRUE(m_log.WriteLog("started %d\n", 1));
  m_log.SetLogLevel(3);
  EXPECT_TRUE(m_log.WriteLog(4u, "hidden\n"));
  EXPECT_TRUE(m_log.WriteLog(1u, 4u, "hidden\n"));
  EXPECT_TRUE(m_log.WriteLog(3u, "shown\n"));
  EXPECT_TRUE(m_log.WriteLog(7u, 3u, "event\n"));
  EXPECT_EQ(ReadFile(LogFile("2026-12-04")),
            "earlier\n"
            "[2026-12-04 10:11:12.345]  started 1\n"
            "[2026-12-04 10:11:12.345]  shown\n"
            "[2026-12-04 10:11:12.345][07:03] event\n");
}

TEST_F(DateLogTest, DayChangeClosesPrunesAndReopensAndNoReservedDaysKeepAll) {
  m_now = CMyDatetime(2026, 12, 4, 23, 59, 59, 999);
  ASSERT_TRUE(m_log.WriteLog("before midnight\n"));

  const std::vector<std::string> vGone = {"Tolvan2026-11-20.log", "Tolvan2026-11-28.log"};
  // Within the seven days, set aside for size, another prefix (case counts), another extension.
  const std::vector<std::string> vKept = {"Tolvan2026-11-29.log", "Tolvan2026-11-01.log0",
                                          "tolvan2026-11-01.log", "Tolvan2026-11-01.txt"};
  for (const auto& s : vGone) WriteFile(In(s), "x");
  for (const auto& s : vKept) WriteFile(In(s), "x");
  CMyFile::MakeDirectory(In("Tolvan2026-11-02.log").c_str());
  // No reserved days, or more than the calendar holds, prune nothing; the week prunes.
  for (int nDays : {0, 1000000000, 7}) {
    m_log.SetReservedDays(nDays);
    m_log.DeleteOldLog();
    EXPECT_EQ(Exists(In(vGone[0])), nDays != 7) << nDays;
  }

  m_now = CMyDatetime(2026, 12, 5, 0, 0, 0, 1);
  // Asking for the name after midnight must not hide the change from the next write.
  char szName[CMyFile::kMaxFullName];
  m_log.GetFullName(szName);
  EXPECT_EQ(std::string(szName), LogFile("2026-12-05"));
  ASSERT_TRUE(m_log.WriteLog("after midnight\n"));

  EXPECT_EQ(ReadFile(LogFile("2026-12-04")), "[2026-12-04 23:59:59.999]  before midnight\n");
  EXPECT_EQ(ReadFile(LogFile("2026-12-05")), "[2026-12-05 00:00:00.001]  after midnight\n");
  for (const auto& s : vGone) EXPECT_FALSE(Exists(In(s))) << s;
  for (const auto& s : vKept) EXPECT_TRUE(Exists(In(s))) << s;
  EXPECT_TRUE(CMyFile::DirIsExist(In("Tolvan2026-11-02.log").c_str()));
}

TEST_F(DateLogTest, FileAboveOneGiBIsSetAside) {
  const std::string strFile = LogFile("2026-12-04");
  CMyFile::MakeDirectory(m_strLogDir.c_str());
  // Exactly 1 GiB stays.
  WriteFile(strFile, "big\n");
  ASSERT_TRUE(CMyFile::SetFileSize64(strFile.c_str(), CWriteLog::kSetAsideSize));
  ASSERT_TRUE(m_log.WriteLog("one\n"));
  m_log.CloseFile();
  int64_t nSize = 0;
  ASSERT_TRUE(CMyFile::GetFileSize64(strFile.c_str(), nSize));
  EXPECT_GT(nSize, CWriteLog::kSetAsideSize);
  EXPECT_FALSE(Exists(strFile + "0"));

  // One byte more is found at the next size check, 10,000 writes on, and the
  // file moves to the first free numbered name ("0" is taken).
  WriteFile(strFile + "0", "taken");
  for (unsigned i = 1; i < CWriteLog::kSizeCheckEvery; ++i) ASSERT_TRUE(m_log.Write("x\n"));
  ASSERT_TRUE(Exists(strFile));
  ASSERT_TRUE(m_log.WriteLog("fresh\n"));
  EXPECT_EQ(ReadFile(strFile + "0"), "taken");
  ASSERT_TRUE(CMyFile::GetFileSize64((strFile + "1").c_str(), nSize));
  EXPECT_GT(nSize, CWriteLog::kSetAsideSize);
  EXPECT_EQ(ReadFile(strFile), "[2026-12-04 10:11:12.345]  fresh\n");
}

TEST_F(DateLogTest, OutputFlagsAndTheDatedNameCannotBeReplaced) {
  testing::internal::CaptureStdout();
  m_log.SetOutFlag(emLogNone);
  EXPECT_TRUE(m_log.WriteLog("nowhere\n"));
  m_log.SetOutFlag(emLogBoth);
  m_log << "a" << std::string("b") << -7L << 1.5 << "\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ab-71.500000\n");
  EXPECT_EQ(ReadFile(LogFile("2026-12-04")), "ab-71.500000\n");
  // The dated name cannot be replaced.
  m_log.SetFileName("other.log");
  m_log.SetFullName("x/other.log");
  m_log.SetPreFileName(std::string(150, 'p').c_str());  // too long: kept
  m_log.SetExtFileName("txt");
  char szName[CMyFile::kMaxPath];
  m_log.GetFileName(szName);
  EXPECT_STREQ(szName, "Tolvan2026-12-04.txt");
}

TEST(WriteLog, PlainFileKeepsItsNameAndEachThreadHasItsOwnStampBuffer) {
  CTempDir dir("tolvan-log");
  ASSERT_TRUE(dir.Ok());
  {
    CWriteLog log(dir.Join("plain.log").c_str());
    log.SetClock([] { return CMyDatetime(2000, 1, 1, 0, 0, 0, 7); });
    ASSERT_TRUE(log.WriteLog("entry\n"));
  }
  EXPECT_EQ(ReadFile(dir.Join("plain.log")), "[2000-01-01 00:00:00.007]  entry\n");

  const char* pMain = CWriteLog::GetCurrTime();
  const char* pOther = nullptr;
  std::thread([&] { pOther = CWriteLog::GetCurrTime(); }).join();
  EXPECT_NE(pMain, pOther);
  EXPECT_TRUE(std::regex_match(pMain, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})")))
      << pMain;
}

// The size bound of the directory: the oldest of the log's own files make room
// first, the file being written and other programs' files stay.
TEST_F(DateLogTest, OldestOwnFilesGoFirstOthersAndTheCurrentFileStay) {
  CMyFile::MakeDirectory(m_strLogDir.c_str());
  // 6,000 bytes in the directory, the bound 6,000: every line must make room.
  const std::vector<std::string> vecOwnOldestFirst = {
      "Tolvan2026-12-01.log", "Tolvan2026-12-02.log0", "Tolvan2026-12-02.log2",
      "Tolvan2026-12-02.log"};
  for (const std::string& s : vecOwnOldestFirst) WriteFile(In(s), std::string(1000, 'o'));
  WriteFile(In("Tolvan2026-12-04.log"), std::string(1000, 'o'));       // today's: being written
  WriteFile(In("TolvanDaemon2026-11-01.log"), std::string(500, 'o'));  // another program's
  WriteFile(In("notes.txt"), std::string(500, 'o'));
  m_log.SetMaxDirSize(6000);

  // Each removal frees 1,000 bytes, room for 10 lines of 100 next to the
  // 256 bytes kept for the drop line: one file goes at line 1, 8, 18 and 28.
  const std::vector<unsigned> vecRemovedAfter = {1, 8, 18, 28};
  unsigned nLines = 0;
  for (size_t nGone = 0; nGone < vecRemovedAfter.size(); ++nGone) {
    for (; nLines < vecRemovedAfter[nGone] - 1; ++nLines) ASSERT_TRUE(m_log.Write(kLine.c_str()));
    EXPECT_TRUE(Exists(In(vecOwnOldestFirst[nGone]))) << "line " << nLines;
    ASSERT_TRUE(m_log.Write(kLine.c_str()));
    ++nLines;
    for (size_t i = 0; i < vecOwnOldestFirst.size(); ++i) {
      EXPECT_EQ(Exists(In(vecOwnOldestFirst[i])), i > nGone)
          << vecOwnOldestFirst[i] << " line " << nLines;
    }
    EXPECT_LE(DirBytes(), 6000u);
  }
  EXPECT_TRUE(Exists(In("TolvanDaemon2026-11-01.log")));
  EXPECT_TRUE(Exists(In("notes.txt")));
  m_log.CloseFile();
  EXPECT_EQ(ReadFile(In("Tolvan2026-12-04.log")).size(), 1000 + 100u * nLines);
  EXPECT_EQ(CountOf(ReadFile(In("Tolvan2026-12-04.log")), kDropNote), 0u);
}

// When nothing more can go, the day's later lines are dropped after one line
// that says so, until space is freed or the date changes.
TEST_F(DateLogTest, AFullDayIsDroppedWithOneLineUntilSpaceIsFreedOrTheDayEnds) {
  CMyFile::MakeDirectory(m_strLogDir.c_str());
  WriteFile(In("notes.txt"), std::string(1000, 'o'));  // not the log's: counted, never removed
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
  EXPECT_LE(DirBytes(), 3000u);
  EXPECT_TRUE(Exists(In("notes.txt")));

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
  EXPECT_LE(DirBytes(), 3000u);

  // The next day writes again: yesterday's full file is the oldest and goes.
  m_now = CMyDatetime(2026, 12, 5, 0, 0, 1, 0);
  ASSERT_TRUE(m_log.Write("a new day\n"));
  m_log.CloseFile();
  EXPECT_FALSE(Exists(In("Tolvan2026-12-04.log")));
  EXPECT_EQ(ReadFile(In("Tolvan2026-12-05.log")), "a new day\n");
}
