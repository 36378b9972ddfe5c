// TolvanDaemon: the agent's watchdog program. See Watchdog.h.

#include <string>

#include "base/logging/ProcessLog.h"
#include "base/system/AppDirs.h"
#include "base/system/ExePath.h"
#include "base/system/Process.h"
#include "daemon/ProcessWatch.h"
#include "daemon/Watchdog.h"
#include "daemon/WatchdogEnv.h"

int main() {
  DetachFromTerminal();

  // The watchdog's log lies beside the agent's, in "Log" in the agent's
  // state directory (next to the agent unless that is read-only).
  std::string strModulePath;
  if (GetEnvVar(WATCHDOG_ENV_MODULE_PATH, strModulePath)) {
    g_ProcessLog.SetFilePath(JoinPath(StateDirFor(PathDirectory(strModulePath)), "Log").c_str());
  }
  g_ProcessLog.SetPreFileName("TolvanDaemon");
  g_ProcessLog.SetExtFileName("log");
  g_ProcessLog.SetLogLevel(1);

  return RunWatchdog(CWatchdogPolicy::FromEnvironment());
}
