// Test entry: named locks and the process log of this run live in temporary
// directories of its own.

#include "base/system/Process.h"
#include "tests/card/CardTestSupport.h"
#include "tests/support/ProcessLogFiles.h"

#include <gtest/gtest.h>

#include <cstdio>

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
  SetTestLogDir(logDir.Str());
  const int nResult = RUN_ALL_TESTS();
  CloseProcessLog();
  return nResult;
}
