// bench_agent_sign [seconds-per-measurement]
//
// RSA-2048 signatures per second with one client, two ways, on one demo token
// (scripts/demo-token):
//   agent  advSignData over HTTP to the agent's listener (a new connection
//          per request, as pages make them), dispatcher, card library
//   raw    the bare PKCS#11 sequence on a kept-open session: C_Login, find
//          the key by label, SHA-256 on the host, C_SignInit + C_Sign of the
//          DigestInfo (CKM_RSA_PKCS, as the card library signs), C_Logout
// The two take turns in ten slices. Then the key probe's cost per watch pass
// (the token lister process and the store), with the demo token present.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "base/system/KeyProbe.h"
#include "card/CardLifecycle.h"
#include "card/KeyWatch.h"
#include "card/KeyWatchThread.h"
#include "agent/AgentServer.h"
#include "http/TolvanServer.h"
#include "tests/e2e/DemoTokens.h"
#include "tests/http/LoopbackClient.h"
#include "tests/bench/support/SigningBench.h"
#include "tests/support/TempDir.h"

using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const double dSeconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  // The dispatcher prints two lines per call to standard output; the figures
  // go to the real standard output, the rest to /dev/null.
  FILE* pOut = fdopen(dup(STDOUT_FILENO), "w");
  if (pOut == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr) return 1;

  CTempDir root("agent-sign-bench");
  CDemoTokens tokens(root.Str());
  if (!tokens.Make("demo") || !tokens.Insert("demo")) {
    std::fprintf(stderr, "demo token not made\n");
    return 1;
  }
  tokens.SetEnvironment();
  const std::string strRun = root.Join("run");
  mkdir(strRun.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", strRun.c_str(), 1);
  CTempDir app("agent-sign-bench-app");
  if (FILE* pIni = std::fopen(app.Join("TolvanService.ini").c_str(), "w")) {
    std::fputs("[Config]\nIP=127.0.0.1\nPort=0\nDebugLevel=1\n", pIni);
    std::fclose(pIni);
  }

  // The production interval.
  std::unique_ptr<CTolvanServer> pServer = CreateAgentServer(app.Str(), app.Str());
  CTolvanServer& server = *pServer;
  // On every way out: the watch ends, then the card library closes its
  // session, before the token and the module go.
  struct CStopAll {
    CTolvanServer& m_server;
    ~CStopAll() {
      m_server.Stop();
      resetCardLibrary();
    }
  } stopAll{server};
  if (!server.Start() || !server.WaitListening(10000)) return 1;
  const uint16_t nPort = server.GetListenPort();
  const std::string strRequest = MakePost(std::string("Fun=advSignData&label=") + kDemoSignLabel +
                                          "&keyPasswd=" + kDemoPin +
                                          "&digestAlgo=2&signType=1&clearText=benchmark text");
  bool bReportFailures = false;
  auto agentSign = [&] {
    CLoopbackClient client(nPort);
    if (!client.IsConnected() || !client.SendAll(strRequest)) return false;
    const std::string strBody = ResponseBody(client.ReadResponse());
    if (strBody.find("\"return\":\"0\"") != std::string::npos) return true;
    if (bReportFailures) std::fprintf(stderr, "agent answered: %s\n", strBody.c_str());
    return false;
  };
  // The first watch pass initialises the card library.
  const Clock::time_point waitStart = Clock::now();
  while (!agentSign()) {
    if (Seconds(waitStart) > 30) {
      std::fprintf(stderr, "the agent does not sign\n");
      return 1;
    }
  }

  bReportFailures = true;
  CRawPkcs11Token raw(kSoftHsmModule, kDemoTokenLabel, kDemoPin);
  if (!raw.Open()) {
    std::fprintf(stderr, "raw PKCS#11 session not opened\n");
    return 1;
  }
  const std::vector<unsigned char> text = {'b', 'e', 'n', 'c', 'h', 'm', 'a', 'r', 'k', ' ', 't', 'e', 'x', 't'};
  const std::vector<double> rates = InterleavedRates(
      {agentSign,
       [&] {
         if (raw.Sign("DemoSignKey", CKM_RSA_PKCS, Sha256DigestInfo(text))) return true;
         std::fprintf(stderr, "raw sequence failed\n");
         return false;
       }},
      dSeconds);
  if (rates.size() != 2) {
    std::fprintf(stderr, "a signature failed during the run\n");
    return 1;
  }
  std::fprintf(pOut, "RSA-2048 signatures, one client, %.1f s each:\n", dSeconds);
  std::fprintf(pOut, "  agent advSignData over HTTP  %8.1f /s\n", rates[0]);
  std::fprintf(pOut, "  raw PKCS#11 sequence         %8.1f /s\n", rates[1]);
  std::fprintf(pOut, "  agent / raw                  %8.2f x\n", rates[0] / rates[1]);

  const int kProbes = 20;
  const Clock::time_point probeStart = Clock::now();
  std::string strSerial;
  for (int i = 0; i < kProbes; ++i) strSerial = ProbeUserKey();
  const double dProbeMs = Seconds(probeStart) * 1000 / kProbes;
  std::fprintf(pOut, "key probe (token lister process + store), demo token present: %.1f ms per pass%s\n",
               dProbeMs, strSerial.empty() ? " (NO KEY FOUND)" : "");
  std::fprintf(pOut, "  = %.2f %% of one %u ms watch interval\n",
               dProbeMs * 100 / KEY_WATCH_INTERVAL_MS, KEY_WATCH_INTERVAL_MS);
  std::fclose(pOut);
  return 0;
}
