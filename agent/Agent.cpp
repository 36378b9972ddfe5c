#include "agent/Agent.h"

#include "agent/AgentHost.h"
#include "agent/AgentSettings.h"
#include "agent/DaemonLauncher.h"
#include "agent/RouteRequest.h"
#include "base/system/ExePath.h"
#include "base/system/SingleInstance.h"
#include "http/TolvanServer.h"

namespace {

void LaunchWatchdog() { StartDaemon(); }

}  // namespace

int AgentMain() {
  CSingleInstance instance("Orv_Vex5.0");
  if (instance.IsAnotherInstance()) return 0;

  if (!CreateAgentHost()) return 0;
  {
    const std::string strAppDir = GetExeDir();
    const CServerSettings settings = ReadAgentSettings(strAppDir);
    ConfigureProcessLog(strAppDir, settings.m_nDebugLevel, settings.m_nLogMaxMB);
    CTolvanServer server(settings);
    server.SetRequestHandler(RouteRequest);
    server.SetWatchdogLauncher(LaunchWatchdog);
    InstallStopSignals();
    server.Start();
    RunAgentLoop();
    server.Stop();
  }
  DestroyAgentHost();
  ReleaseQuitEvent();
  return 0;
}
