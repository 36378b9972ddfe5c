#include "agent/Agent.h"

#include "agent/AgentHost.h"
#include "agent/AgentServer.h"
#include "agent/DaemonLauncher.h"
#include "base/logging/ProcessLog.h"
#include "base/system/AppDirs.h"
#include "base/system/SingleInstance.h"
#include "http/TolvanServer.h"

namespace {

void LaunchWatchdog() {
  if (IsServiceSupervised()) {
    WriteProcessLog(0, 1, "%s=1: the service manager restarts the agent, no watchdog started.\n",
                    AGENT_ENV_SUPERVISED);
    return;
  }
  StartDaemon();
}

}  // namespace

int AgentMain() {
  CSingleInstance instance("Orv_Vex5.0");
  if (instance.IsAnotherInstance()) return 0;

  if (!CreateAgentHost()) return 0;
  {
    std::unique_ptr<CTolvanServer> pServer = CreateAgentServer(GetSettingsDir(), GetStateDir());
    pServer->SetWatchdogLauncher(LaunchWatchdog);
    InstallStopSignals();
    pServer->Start();
    RunAgentLoop();
    pServer->Stop();
  }
  DestroyAgentHost();
  ReleaseQuitEvent();
  return 0;
}
