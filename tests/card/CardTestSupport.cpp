#include "tests/card/CardTestSupport.h"

#include "base/system/ExePath.h"
#include "card/CardLibrary.h"
#include "card/CardLifecycle.h"
#include "base/system/Process.h"
#include "tests/support/ProcessLogFiles.h"

#include <cstdio>
#include <sstream>

namespace {
std::string g_strTestLogDir;
}  // namespace

int CountLogLines(const std::string& strNeedle) {
  int nCount = 0;
  std::istringstream log(ReadProcessLog(g_strTestLogDir));
  for (std::string strLine; std::getline(log, strLine);) {
    if (strLine.find(strNeedle) != std::string::npos) ++nCount;
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

void CardDoubleTest::SetUp() {
  ASSERT_TRUE(m_configDir.Ok());
  m_pConfigEnv = std::make_unique<CEnvOverride>("TOLVAN_CONFIG_DIR", m_configDir.Str());
  std::string strDir = JoinPath(GetExeDir(), "carddouble");
  ASSERT_TRUE(m_control.Open(JoinPath(strDir, CLibraryLoader::FileName("pkiCard"))))
      << m_control.LastError();
  m_pfnSwitch = reinterpret_cast<PFN_dblSwitch>(m_control.Symbol("dblSwitch"));
  m_pfnCallLog = reinterpret_cast<PFN_dblCallLog>(m_control.Symbol("dblCallLog"));
  ASSERT_TRUE(m_pfnSwitch != nullptr && m_pfnCallLog != nullptr);
  Switch(nullptr, 0);
  ASSERT_TRUE(LoadCardLibrary(strDir));
  ASSERT_EQ(0, pasInit());
  Calls(true);
}

void CardDoubleTest::TearDown() {
  myEnd();
  UnloadCardLibrary();
  if (m_pfnSwitch != nullptr) Switch(nullptr, 0);
  m_control.Close();
  m_pConfigEnv.reset();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Named locks of this run live in a directory of its own, so that other
  // programs of the user (or other test runs) cannot make these tests wait.
  // (Windows keeps its named objects per session.)
  CTempDir runtimeDir;
  SetEnvVar("XDG_RUNTIME_DIR", runtimeDir.Str().c_str());
  // The process log goes to a directory of this run, where tests read it.
  CTempDir logDir;
  if (!runtimeDir.Ok() || !logDir.Ok()) {
    std::fprintf(stderr, "no temporary directory could be made\n");
    return 1;
  }
  LogTo(logDir.Path());
  g_strTestLogDir = logDir.Str();
  const int nResult = RUN_ALL_TESTS();
  CloseProcessLog();
  return nResult;
}
