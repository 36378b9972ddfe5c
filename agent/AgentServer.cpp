#include "agent/AgentServer.h"

#include "agent/AgentSettings.h"
#include "agent/RouteRequest.h"
#include "card/KeyWatchThread.h"

std::unique_ptr<CTolvanServer> CreateAgentServer(const std::string& strSettingsDir,
                                                 const std::string& strStateDir) {
  const CServerSettings settings = ReadAgentSettings(strSettingsDir);
  ConfigureProcessLog(strStateDir, settings.m_nDebugLevel, settings.m_nLogMaxMB);
  auto pServer = std::make_unique<CTolvanServer>(settings);
  pServer->SetRequestHandler(RouteRequest);
  pServer->SetKeyWatchRoutine(initThreadFun);
  return pServer;
}
