#pragma once

#include "base/system/LibraryLoader.h"
#include "card/ApiHandler.h"
#include "tests/card/double/PkiCardDouble.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The test executable's full path, for running it again as a helper child.
std::string TestExePath();

// Where the process log of this test run is written, and how many of its
// lines hold strNeedle.
void SetTestLogDir(const std::string& strDir);
int CountLogLines(const std::string& strNeedle);

// One API call: the result map of pasApiHandler for the given request.
RequestParams Call(const RequestParams& request);

// Loads the card library double from the test's directory, points the
// configuration directory at a fresh temporary directory, and initialises the
// library with pasInit. Everything is undone at the end of each test.
class CardDoubleTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The double's recorded calls since the last ClearCalls.
  std::string Calls() const;
  void ClearCalls() const { Control<PFN_dblClearLog>("dblClearLog")(); }
  void FailWith(const char* szFunction, int nCode) const {
    Control<PFN_dblFailWith>("dblFailWith")(szFunction, nCode);
  }
  void Overreport(const char* szFunction) const { Control<PFN_dblOverreport>("dblOverreport")(szFunction); }
  void OnCall(const char* szFunction, void (*pfn)(void*), void* pArg) const {
    Control<PFN_dblOnCall>("dblOnCall")(szFunction, pfn, pArg);
  }
  // Writes the key label file of the temporary configuration directory.
  void WriteKeyLabelFile(const std::string& strContent) const;
  // True while card calls are answered (the library is initialised).
  bool CardCallsAnswered() const;
  // A control function of the double (a test failure when it is missing).
  template <typename T>
  T Control(const char* szName) const {
    T pfn = reinterpret_cast<T>(m_control.Symbol(szName));
    EXPECT_NE(pfn, nullptr) << szName;
    return pfn;
  }

  CTempDir m_configDir;
  std::unique_ptr<CEnvOverride> m_pConfigEnv;
  CLibraryLoader m_control;  // a second handle on the double, for its controls
};
