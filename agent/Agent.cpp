#include "agent/Agent.h"

#include "agent/AgentHost.h"
#include "agent/DaemonLauncher.h"
#include "base/system/SingleInstance.h"
#include "card/KeyWatchThread.h"
#include "http/TolvanServer.h"

namespace {

void LaunchWatchdog() { StartDaemon(); }

}  // namespace

int AgentMain() {
  CSingleInstance instance("Orv_Vex5.0");
  if (instance.IsAnotherInstance()) return 0;

  if (!CreateAgentHost()) return 0;
  {
    // Reads "TolvanService.ini" beside the executable and sets up the log.
    CTolvanServer server;
    server.SetWatchdogLauncher(LaunchWatchdog);
    server.SetKeyWatchRoutine(initThreadFun);
    InstallStopSignals();
    server.Start();
    RunAgentLoop();
    server.Stop();
  }
  DestroyAgentHost();
  ReleaseQuitEvent();
  return 0;
}
