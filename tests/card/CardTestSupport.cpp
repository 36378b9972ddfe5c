#include "tests/card/CardTestSupport.h"

#include "base/system/ExePath.h"
#include "base/system/Process.h"
#include "card/CardLibrary.h"
#include "card/CardLifecycle.h"
#include "card/KeyLabel.h"

#include <fstream>
#include <vector>

std::string TestExePath() {
  char szPath[1024] = {0};
  EXPECT_TRUE(GetExePath(szPath, sizeof(szPath)));
  return szPath;
}

namespace {
std::string& TestLogDir() {
  static std::string s_strDir;
  return s_strDir;
}
}  // namespace

void SetTestLogDir(const std::string& strDir) { TestLogDir() = strDir; }

int CountLogLines(const std::string& strNeedle) {
  int nCount = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(TestLogDir(), ec)) {
    std::ifstream file(entry.path(), std::ios::in | std::ios::binary);
    std::string strLine;
    while (std::getline(file, strLine)) {
      if (strLine.find(strNeedle) != std::string::npos) ++nCount;
    }
  }
  return nCount;
}

RequestParams Call(const RequestParams& request) {
  RequestParams result;
  int nResult = pasApiHandler(request, result);
  // The returned code and the written one always agree.
  EXPECT_EQ(std::to_string(nResult), result.count("return") ? result["return"] : "(none)");
  return result;
}

void WriteTestFile(const CTempDir& dir, const char* szName, const std::string& strContent) {
  std::ofstream file(dir.Path() / szName, std::ios::out | std::ios::binary | std::ios::trunc);
  file.write(strContent.data(), static_cast<std::streamsize>(strContent.size()));
  ASSERT_TRUE(file.good());
}

void CardDoubleTest::SetUp() {
  m_pConfigDir = std::make_unique<CTempDir>();
  ASSERT_TRUE(m_pConfigDir->Ok());
  m_bHadConfigDir = GetEnvVar("TOLVAN_CONFIG_DIR", m_strOldConfigDir);
  ASSERT_TRUE(SetEnvVar("TOLVAN_CONFIG_DIR", m_pConfigDir->Str().c_str()));

  std::string strDir = JoinPath(GetExeDir(), "carddouble");
  ASSERT_TRUE(m_control.Open(JoinPath(strDir, CLibraryLoader::FileName("pkiCard"))))
      << m_control.LastError();
  for (const char* szName : {"dblReset", "dblClearLog", "dblFailWith", "dblOverreport", "dblOnCall", "dblCallLog"}) {
    ASSERT_NE(nullptr, m_control.Symbol(szName)) << szName;
  }
  Control<PFN_dblReset>("dblReset")();

  ASSERT_TRUE(LoadCardLibrary(strDir));
  ASSERT_EQ(0, pasInit());
  ClearCalls();
}

void CardDoubleTest::TearDown() {
  myEnd();
  UnloadCardLibrary();
  if (m_control.Symbol("dblReset") != nullptr) Control<PFN_dblReset>("dblReset")();
  m_control.Close();
  if (m_bHadConfigDir) {
    SetEnvVar("TOLVAN_CONFIG_DIR", m_strOldConfigDir.c_str());
  } else {
    SetEnvVar("TOLVAN_CONFIG_DIR", nullptr);
  }
  m_pConfigDir.reset();
}

std::string CardDoubleTest::Calls() const {
  const PFN_dblCallLog pfnCallLog = Control<PFN_dblCallLog>("dblCallLog");
  int nLen = pfnCallLog(nullptr, 0);
  std::vector<char> vBuf(static_cast<size_t>(nLen) + 1);
  pfnCallLog(vBuf.data(), static_cast<int>(vBuf.size()));
  return std::string(vBuf.data(), static_cast<size_t>(nLen));
}

void CardDoubleTest::WriteKeyLabelFile(const std::string& strContent) const {
  WriteTestFile(*m_pConfigDir, KEY_LABEL_FILE, strContent);
}

bool CardDoubleTest::CardCallsAnswered() const {
  RequestParams result = Call({{"Fun", "advInit"}});
  return result["return"] == "0";
}
