#include "base/logging/WriteDateLog.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/files/FileSystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

namespace {

const std::string kSep(1, g_cFsPathSep);

void WriteText(const std::string& strPath, const std::string& strText) {
  std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
  out << strText;
}

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

  CTempDir m_dir{"tolvan-log"};
  std::string m_strLogDir;
  CMyDatetime m_now{2026, 12, 4, 10, 11, 12, 345};
  CWriteDateLog m_log{"Tolvan", "log", 7};
};

}  // namespace

TEST_F(DateLogTest, FirstWriteAppendsToTheDatedFileAndLevelsAboveTheThresholdAreSkipped) {
  CMyFile::MakeDirectory(m_strLogDir.c_str());
  WriteText(LogFile("2026-12-04"), "earlier\n");
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

TEST_F(DateLogTest, DayChangeClosesPrunesAndReopens) {
  m_now = CMyDatetime(2026, 12, 4, 23, 59, 59, 999);
  ASSERT_TRUE(m_log.WriteLog("before midnight\n"));

  const std::vector<std::string> vGone = {"Tolvan2026-11-20.log", "Tolvan2026-11-27.log",
                                          "Tolvan2026-11-28.log"};
  const std::vector<std::string> vKept = {
      "Tolvan2026-11-29.log",   // within the seven days
      "Tolvan2026-11-01.log0",  // set aside for size
      "tolvan2026-11-01.log",   // another prefix (case counts)
      "Other2026-11-01.log",  "Tolvan2026-11-01.txt", "Tolvan-old.log"};
  for (const auto& s : vGone) WriteText(In(s), "x");
  for (const auto& s : vKept) WriteText(In(s), "x");
  CMyFile::MakeDirectory(In("Tolvan2026-11-02.log").c_str());

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

TEST_F(DateLogTest, NoPruningWithoutReservedDays) {
  CMyFile::MakeDirectory(m_strLogDir.c_str());
  WriteText(LogFile("2020-01-01"), "x");
  // 1e9 days reach before the calendar: nothing to delete.
  for (int nDays : {0, 1000000000, 1}) {
    m_log.SetReservedDays(nDays);
    m_log.DeleteOldLog();
    EXPECT_EQ(Exists(LogFile("2020-01-01")), nDays != 1) << nDays;
  }
}

TEST_F(DateLogTest, FileAboveOneGiBIsSetAside) {
  const std::string strFile = LogFile("2026-12-04");
  CMyFile::MakeDirectory(m_strLogDir.c_str());
  // Exactly 1 GiB stays.
  WriteText(strFile, "big\n");
  ASSERT_TRUE(CMyFile::SetFileSize64(strFile.c_str(), CWriteLog::kSetAsideSize));
  ASSERT_TRUE(m_log.WriteLog("one\n"));
  m_log.CloseFile();
  int64_t nSize = 0;
  ASSERT_TRUE(CMyFile::GetFileSize64(strFile.c_str(), nSize));
  EXPECT_GT(nSize, CWriteLog::kSetAsideSize);
  EXPECT_FALSE(Exists(strFile + "0"));

  // One byte more is found at the next size check, 10,000 writes on, and the
  // file moves to the first free numbered name ("0" is taken).
  WriteText(strFile + "0", "taken");
  for (unsigned i = 1; i < CWriteLog::kSizeCheckEvery; ++i) ASSERT_TRUE(m_log.Write("x\n"));
  ASSERT_TRUE(Exists(strFile));
  ASSERT_TRUE(m_log.WriteLog("fresh\n"));
  EXPECT_EQ(ReadFile(strFile + "0"), "taken");
  ASSERT_TRUE(CMyFile::GetFileSize64((strFile + "1").c_str(), nSize));
  EXPECT_GT(nSize, CWriteLog::kSetAsideSize);
  EXPECT_EQ(ReadFile(strFile), "[2026-12-04 10:11:12.345]  fresh\n");
}

TEST_F(DateLogTest, OutputFlags) {
  m_log.SetOutFlag(emLogStdout);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(m_log.WriteLog("to stdout\n"));
  m_log.SetOutFlag(emLogNone);
  EXPECT_TRUE(m_log.WriteLog("nowhere\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[2026-12-04 10:11:12.345]  to stdout\n");
  EXPECT_FALSE(Exists(LogFile("2026-12-04")));

  m_log.SetOutFlag(emLogBoth);
  testing::internal::CaptureStdout();
  m_log << "a" << std::string("b") << 42 << -7L << 1.5 << "\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ab42-71.500000\n");
  EXPECT_EQ(ReadFile(LogFile("2026-12-04")), "ab42-71.500000\n");
}

TEST_F(DateLogTest, TheDatedNameCannotBeReplaced) {
  testing::internal::CaptureStdout();
  m_log.SetFileName("other.log");
  m_log.SetFullName("x/other.log");
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SetFileName(const char* p_szFileName) is not valid for CWriteDateLog\n"
            "SetFullName(const char* p_szFullName) is not valid for CWriteDateLog\n");
  m_log.SetPreFileName(std::string(150, 'p').c_str());  // too long: kept
  m_log.SetExtFileName("txt");
  char szName[CMyFile::kMaxPath];
  m_log.GetFileName(szName);
  EXPECT_STREQ(szName, "Tolvan2026-12-04.txt");
}

TEST(WriteLog, PlainFileKeepsItsName) {
  CTempDir dir("tolvan-log");
  ASSERT_TRUE(dir.Ok());
  const std::string strFile = dir.Join("plain.log");
  {
    CWriteLog log(strFile.c_str());
    log.SetClock([] { return CMyDatetime(2000, 1, 1, 0, 0, 0, 7); });
    ASSERT_TRUE(log.WriteLog(2u, 1u, "entry\n"));
  }
  EXPECT_EQ(ReadFile(strFile), "[2000-01-01 00:00:00.007][02:01] entry\n");
}

TEST(WriteLog, EachThreadHasItsOwnStampBuffer) {
  const char* pMain = CWriteLog::GetCurrTime();
  const char* pOther = nullptr;
  std::string strOther;
  std::thread t([&] {
    pOther = CWriteLog::GetCurrTime();
    strOther = pOther;
  });
  t.join();
  EXPECT_NE(pMain, pOther);
  const std::regex re(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})");
  EXPECT_TRUE(std::regex_match(std::string(pMain), re)) << pMain;
  EXPECT_TRUE(std::regex_match(strOther, re)) << strOther;
}
