// TolvanDaemon: the agent's watchdog program. See Watchdog.h.

#include <string>

#include "base/logging/ProcessLog.h"
#include "base/system/Process.h"
#include "daemon/ProcessWatch.h"
#include "daemon/Watchdog.h"

namespace {

// The directory part of a path, with either separator.
std::string DirectoryOf(const std::string& strPath) {
  size_t nSep = strPath.find_last_of("/\\");
  return nSep == std::string::npos ? std::string(".") : strPath.substr(0, nSep);
}

}  // namespace

int main() {
  DetachFromTerminal();

  // The watchdog's log lies beside the agent's, in "Log" next to the agent.
  std::string strModulePath;
  if (GetEnvVar("module_path", strModulePath)) {
    g_ProcessLog.SetFilePath((DirectoryOf(strModulePath) + "/Log").c_str());
  }
  g_ProcessLog.SetPreFileName("TolvanDaemon");
  g_ProcessLog.SetExtFileName("log");
  g_ProcessLog.SetLogLevel(1);

  return RunWatchdog(CWatchdogPolicy::FromEnvironment());
}
