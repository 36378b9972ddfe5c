#include "tests/agent/AgentTestSupport.h"

#include "base/sockets/TcpServerSocket.h"
#include "base/system/Process.h"
#include "tests/http/LoopbackClient.h"

namespace fs = std::filesystem;

fs::path BuildPath(const char* szPosixPath) {
#ifdef _WIN32
  std::string strPath = std::string("Z:") + szPosixPath;
  for (char& c : strPath) {
    if (c == '/') c = '\\';
  }
  return fs::path(strPath);
#else
  return fs::path(szPosixPath);
#endif
}

uint16_t PickFreePort() {
  CTcpServerSocket listener(true, false);
  std::string strAddr;
  unsigned short nPort = 0;
  if (!listener.Bind(0, "127.0.0.1") || !listener.GetLocalPeerInfo(strAddr, nPort)) nPort = 0;
  listener.CloseSocket();
  return nPort;
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& vecOverrides) {
  std::vector<std::string> vecEnv;
  for (const std::string& strEntry : GetProcessEnvironment()) {
    std::string strName = strEntry.substr(0, strEntry.find('=', 1));
    bool bReplaced = false;
    for (const std::string& strOverride : vecOverrides) {
      if (strOverride.compare(0, strName.size() + 1, strName + "=") == 0) bReplaced = true;
    }
    if (!bReplaced) vecEnv.push_back(strEntry);
  }
  vecEnv.insert(vecEnv.end(), vecOverrides.begin(), vecOverrides.end());
  return vecEnv;
}

bool AgentServes(uint16_t nPort) {
  CLoopbackClient client(nPort);
  if (!client.SendAll(MakePost("Fun=cloudPing&pad=" + std::string(100, 'x')))) return false;
  return ResponseBody(client.ReadResponse(10000)).find("\"-10000\"") != std::string::npos;
}

long ExitCodeWithin(CProcess& process, unsigned nTimeoutMs) {
  unsigned long dwCode = 0;
  if (!process.Wait(nTimeoutMs) || !process.GetExitCode(dwCode)) return -1;
  return static_cast<long>(dwCode);
}
