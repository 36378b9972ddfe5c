#include "tests/e2e/AgentE2E.h"

#include "agent/AgentServer.h"
#include "card/KeyWatchThread.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/ProcessLogFiles.h"

Answer PostToAgent(uint16_t nPort, const std::string& strBody) {
  CLoopbackClient client(nPort);
  Answer answer;
  if (!client.IsConnected() || !client.SendAll(MakePost(strBody))) return answer;
  const std::string strBodyIn = ResponseBody(client.ReadResponse());
  answer.m_strReturn = JsonValue(strBodyIn, "return");
  answer.m_strOut = JsonValue(strBodyIn, "outData");
  return answer;
}

std::unique_ptr<CTolvanServer> StartAgentServer(const std::string& strAppDir, unsigned nIntervalMs,
                                                unsigned nTimeoutMs) {
  CloseProcessLog();
  SetKeyWatchInterval(nIntervalMs);
  std::unique_ptr<CTolvanServer> pServer = CreateAgentServer(strAppDir, strAppDir);
  // (One that does not listen in time is stopped as it goes.)
  if (!pServer || !pServer->Start() || !pServer->WaitListening(nTimeoutMs)) return nullptr;
  return pServer;
}

unsigned StopAgentServer(std::unique_ptr<CTolvanServer>& pServer) {
  if (!pServer) return 0;
  pServer->Stop();
  const unsigned nLeft = pServer->KeyWatchCount();
  pServer.reset();
  CloseProcessLog();
  return nLeft;
}
