#pragma once

#include "base/system/LibraryLoader.h"
#include "card/ApiHandler.h"
#include "card/KeyLabel.h"
#include "tests/card/double/PkiCardDouble.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// How many lines of the process log of this test run hold strNeedle.
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

  // The double's recorded calls since they were last cleared; bClear clears them.
  std::string Calls(bool bClear = false) const {
    size_t nLen = 0;
    const char* p = m_pfnCallLog(bClear ? 1 : 0, &nLen);
    return std::string(p, nLen);
  }
  // The double's switches for one function (see PkiCardDouble.h).
  void Switch(const char* szFunction, int nFail, bool bOverreport = false,
              void (*pfnHook)() = nullptr) const {
    m_pfnSwitch(szFunction, nFail, bOverreport ? 1 : 0, pfnHook);
  }
  void WriteKeyLabelFile(const std::string& strContent) const {
    WriteFile(m_configDir.Path() / KEY_LABEL_FILE, strContent);
  }
  // True while card calls are answered (the library is initialised).
  bool CardCallsAnswered() const { return Call({{"Fun", "advInit"}})["return"] == "0"; }

  CTempDir m_configDir;
  std::unique_ptr<CEnvOverride> m_pConfigEnv;
  CLibraryLoader m_control;  // a second handle on the double, for its controls
  PFN_dblSwitch m_pfnSwitch = nullptr;
  PFN_dblCallLog m_pfnCallLog = nullptr;
};
