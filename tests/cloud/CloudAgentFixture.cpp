#include "tests/cloud/CloudAgentFixture.h"

#include <cctype>

#include "agent/AgentSettings.h"
#include "agent/RouteRequest.h"
#include "base/ini/IniFile.h"
#include "cloud/CloudState.h"
#include "libs/cloudkey/CkJson.h"
#include "libs/cloudkey/CloudKey.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/ProcessLogFiles.h"
#include "tests/tools/cloudsim/CloudsimProcess.h"

CCloudAgentFixture::CCloudAgentFixture(long nTimeoutMs, int nKeyPool) {
  const std::string strLoopback = "127.0.0.1:";
  const std::string strAddress = StartCloudsim(m_sim, m_world.Dir().Join("sim"));
  if (strAddress.compare(0, strLoopback.size(), strLoopback) != 0) return;
  m_nSimPort = static_cast<uint16_t>(std::stoi(strAddress.substr(strLoopback.size())));

  m_world.SetEnv("TOLVAN_CLOUD_HOST", "127.0.0.1");
  m_world.SetEnv("TOLVAN_CLOUD_PORT", std::to_string(m_nSimPort).c_str());
  m_world.SetEnv("TOLVAN_CLOUD_TRUST_ANCHOR", SimFile("ca.pem").c_str());
  m_world.SetEnv("TOLVAN_CLOUD_ENVELOPE_CERT", SimFile("envelope.pem").c_str());
  m_world.SetEnv("TOLVAN_CLOUD_TIMEOUT_MS", std::to_string(nTimeoutMs).c_str());
  m_world.SetEnv("TOLVAN_CLOUD_KEY_POOL", std::to_string(nKeyPool).c_str());
  CK_StopKeyPool();  // a pool of an earlier test keeps its size otherwise
  // The agent's own clock: real time (the service decides nothing by it).
  SetCloudClock(nullptr);

  ConfigureProcessLog(m_world.Dir().Str(), 0);
  CServerSettings settings;
  settings.m_nPort = 0;
  m_pServer = std::make_unique<CTolvanServer>(settings);
  m_pServer->SetRequestHandler(RouteRequest);
  m_bOk = m_pServer->Start() && m_pServer->WaitListening(10000);
}

CCloudAgentFixture::~CCloudAgentFixture() {
  m_pServer.reset();
  CloseProcessLog();
  CK_StopKeyPool();
  if (m_sim.GetPid() != 0) {
    m_sim.Kill();
    m_sim.Wait(10000);
  }
}

std::string CCloudAgentFixture::SimFile(const char* szName) const {
  return m_world.Dir().Join("sim") + "/" + szName;
}

RequestParams CCloudAgentFixture::Call(const RequestParams& params) {
  // Form-encoded: every byte of a value but letters and digits as %XX.
  static const char kHex[] = "0123456789ABCDEF";
  std::string strBody;
  for (const auto& item : params) {
    strBody += (strBody.empty() ? "" : "&") + item.first + "=";
    for (const unsigned char c : item.second) {
      strBody += std::isalnum(c) ? std::string(1, static_cast<char>(c))
                                 : std::string{'%', kHex[c >> 4], kHex[c & 0x0F]};
    }
  }
  CLoopbackClient client(m_pServer->GetListenPort());
  if (!client.SendAll(MakePost(strBody))) return {{"error", "not sent"}};
  const std::string strAnswer = ResponseBody(client.ReadResponse(60000));
  CkJsonObject obj;  // the blank lines around the object are skipped
  if (!CkJsonParse(strAnswer, obj)) return {{"error", "no answer: " + strAnswer}};
  return RequestParams(obj.begin(), obj.end());
}

std::string CCloudAgentFixture::Post(const char* szPath, const std::string& strBody,
                                     const char* szField) {
  HttpClientHandler http("127.0.0.1", m_nSimPort, true);
  return http.GetP7DataFromService(strBody.c_str(), szPath, "application/json", szField);
}

std::string CCloudAgentFixture::Stored(const char* szKey) const {
  return CIniFile::GetValue(szKey, "AuthCode", CloudStateFilePath(), "");
}
