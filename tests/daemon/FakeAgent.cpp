// A stand-in for the agent in watchdog tests: it starts the watchdog the way
// the agent does, records that it ran, waits until the watchdog watches it,
// then ends with exit code 70 and no quit event, as a crash would.

#include <cstdlib>
#include <fstream>
#include <string>

#include "agent/DaemonLauncher.h"
#include "base/logging/ProcessLog.h"
#include "base/system/ExePath.h"
#include "base/system/Process.h"
#include "tests/support/TestFiles.h"

int main() {
  char szExe[512] = {0};
  if (!GetExePath(szExe, sizeof(szExe))) return 2;
  std::string strLogDir = JoinPath(PathDirectory(szExe), "Log");
  g_ProcessLog.SetFilePath(strLogDir.c_str());
  g_ProcessLog.SetPreFileName("FakeAgent");

  std::string strRecord;
  if (GetEnvVar("TOLVAN_FAKE_AGENT_RECORD", strRecord)) {
    std::ofstream out(strRecord, std::ios::app);
    out << GetCurrentPid() << "\n";
  }

  StartDaemon();
  std::string strWatching = "watching process " + std::to_string(GetCurrentPid()) + ".";
  if (!WaitUntil([&] { return ReadFilesIn(strLogDir, "TolvanDaemon").find(strWatching) !=
                            std::string::npos; },
               20000)) {
    return 3;
  }
  std::_Exit(70);
}
