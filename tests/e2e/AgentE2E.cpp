#include "tests/e2e/AgentE2E.h"

#include <chrono>
#include <thread>

#include "agent/AgentServer.h"
#include "base/logging/ProcessLog.h"
#include "card/KeyWatchThread.h"
#include "tests/http/LoopbackClient.h"

namespace {

void CloseProcessLog() {
  CAutoMutexT<CBaseMutex> lock(g_ProcessLogLock);
  g_ProcessLog.CloseFile();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& fnDone, unsigned nTimeoutMs) {
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
  for (;;) {
    if (fnDone()) return true;
    if (std::chrono::steady_clock::now() >= tEnd) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string JsonValue(const std::string& strBody, const std::string& strKey) {
  const std::string strStart = "\"" + strKey + "\":\"";
  const std::string::size_type nPos = strBody.find(strStart);
  if (nPos == std::string::npos) return std::string();
  const std::string::size_type nFrom = nPos + strStart.size();
  return strBody.substr(nFrom, strBody.find('"', nFrom) - nFrom);
}

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
  if (!pServer || !pServer->Start()) return nullptr;
  if (!pServer->WaitListening(nTimeoutMs)) {
    pServer->Stop();
    return nullptr;
  }
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
