// Test entry. Run as "<exe> --hold-named-lock NAME" it is the helper child of
// the cross-process lock tests: it takes the named lock, writes "held" on its
// standard output, and keeps the lock until its standard input ends.

#include "base/logging/ProcessLog.h"
#include "base/system/NamedLock.h"
#include "base/system/Process.h"
#include "tests/card/CardTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

int HoldNamedLock(const char* szName) {
  CNamedLock lock(szName);
  if (!lock.Acquire(10000)) return 2;
  std::printf("held\n");
  std::fflush(stdout);
  while (std::fgetc(stdin) != EOF) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--hold-named-lock") == 0) return HoldNamedLock(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  // Named locks of this run live in a directory of its own, so that other
  // programs of the user (or other test runs) cannot make these tests wait.
  // Helper children inherit it. (Windows keeps its named objects per session.)
  CTempDir runtimeDir;
  SetEnvVar("XDG_RUNTIME_DIR", runtimeDir.Str().c_str());
  // The process log goes to a directory of this run, where tests read it.
  CTempDir logDir;
  if (!runtimeDir.Ok() || !logDir.Ok()) {
    std::fprintf(stderr, "no temporary directory could be made\n");
    return 1;
  }
  g_ProcessLog.SetFilePath(logDir.Str().c_str());
  g_ProcessLog.SetPreFileName("cardtest");
  SetTestLogDir(logDir.Str());
  int nResult = RUN_ALL_TESTS();
  {
    CAutoMutexT<CBaseMutex> guard(g_ProcessLogLock);
    g_ProcessLog.CloseFile();
  }
  return nResult;
}
