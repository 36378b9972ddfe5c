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

#include <openssl/evp.h>
#include <p11-kit/p11-kit.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/system/KeyProbe.h"
#include "card/CardLifecycle.h"
#include "card/KeyWatch.h"
#include "card/KeyWatchThread.h"
#include "http/TolvanServer.h"
#include "tests/e2e/DemoTokens.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/TempDir.h"

using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Operations per second of each op, in interleaved slices.
std::vector<double> Rates(const std::vector<std::function<bool()>>& ops, double dSeconds) {
  const int kSlices = 10;
  std::vector<long> counts(ops.size(), 0);
  std::vector<double> times(ops.size(), 0.0);
  for (const auto& op : ops) {
    for (int i = 0; i < 3; ++i) {
      if (!op()) return {};
    }
  }
  for (int nSlice = 0; nSlice < kSlices; ++nSlice) {
    for (size_t i = 0; i < ops.size(); ++i) {
      const Clock::time_point start = Clock::now();
      do {
        if (!ops[i]()) return {};
        ++counts[i];
      } while (Seconds(start) < dSeconds / kSlices);
      times[i] += Seconds(start);
    }
  }
  std::vector<double> rates;
  for (size_t i = 0; i < ops.size(); ++i) rates.push_back(counts[i] / times[i]);
  return rates;
}

struct CRawToken {
  CK_FUNCTION_LIST* m_pModule = nullptr;
  CK_SESSION_HANDLE m_hSession = CK_INVALID_HANDLE;

  bool Open() {
    m_pModule = p11_kit_module_load(kSoftHsmModule, 0);
    if (m_pModule == nullptr || p11_kit_module_initialize(m_pModule) != CKR_OK) return false;
    CK_SLOT_ID slots[8];
    CK_ULONG nSlots = 8;
    if (m_pModule->C_GetSlotList(CK_TRUE, slots, &nSlots) != CKR_OK) return false;
    for (CK_ULONG i = 0; i < nSlots; ++i) {
      CK_TOKEN_INFO info{};
      if (m_pModule->C_GetTokenInfo(slots[i], &info) == CKR_OK &&
          std::memcmp(info.label, kDemoTokenLabel, std::strlen(kDemoTokenLabel)) == 0) {
        return m_pModule->C_OpenSession(slots[i], CKF_SERIAL_SESSION, nullptr, nullptr,
                                        &m_hSession) == CKR_OK;
      }
    }
    return false;
  }
  ~CRawToken() {
    if (m_pModule == nullptr) return;
    if (m_hSession != CK_INVALID_HANDLE) m_pModule->C_CloseSession(m_hSession);
    p11_kit_module_finalize(m_pModule);
    p11_kit_module_release(m_pModule);
  }

  bool Sign(const std::string& strData) {
    CK_FUNCTION_LIST* f = m_pModule;
    if (f->C_Login(m_hSession, CKU_USER, (CK_UTF8CHAR_PTR)kDemoPin, std::strlen(kDemoPin)) != CKR_OK) {
      return false;
    }
    const char kKeyLabel[] = "DemoSignKey";
    CK_OBJECT_CLASS nClass = CKO_PRIVATE_KEY;
    CK_ATTRIBUTE attrs[] = {{CKA_CLASS, &nClass, sizeof nClass},
                            {CKA_LABEL, const_cast<char*>(kKeyLabel), std::strlen(kKeyLabel)}};
    CK_OBJECT_HANDLE hKey = CK_INVALID_HANDLE;
    CK_ULONG nFound = 0;
    bool bOk = f->C_FindObjectsInit(m_hSession, attrs, 2) == CKR_OK;
    bOk = bOk && f->C_FindObjects(m_hSession, &hKey, 1, &nFound) == CKR_OK && nFound == 1;
    f->C_FindObjectsFinal(m_hSession);
    // DigestInfo of SHA-256: the fixed prefix, then the digest.
    std::vector<unsigned char> in = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                     0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int nDigest = 0;
    bOk = bOk && EVP_Digest(strData.data(), strData.size(), digest, &nDigest, EVP_sha256(), nullptr) == 1;
    in.insert(in.end(), digest, digest + nDigest);
    CK_MECHANISM mech{CKM_RSA_PKCS, nullptr, 0};
    unsigned char sig[512];
    CK_ULONG nSig = sizeof sig;
    bOk = bOk && f->C_SignInit(m_hSession, &mech, hKey) == CKR_OK &&
          f->C_Sign(m_hSession, in.data(), in.size(), sig, &nSig) == CKR_OK;
    f->C_Logout(m_hSession);
    return bOk;
  }
};

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

  CTolvanServer server(app.Str());
  server.SetKeyWatchRoutine(initThreadFun);  // the production interval
  if (!server.Start() || !server.WaitListening(10000)) return 1;
  const uint16_t nPort = server.GetListenPort();
  const std::string strRequest = MakePost(std::string("Fun=advSignData&label=") + kDemoSignLabel +
                                          "&keyPasswd=" + kDemoPin +
                                          "&digestAlgo=2&signType=1&clearText=benchmark text");
  auto agentSign = [&] {
    CLoopbackClient client(nPort);
    if (!client.IsConnected() || !client.SendAll(strRequest)) return false;
    return ResponseBody(client.ReadResponse()).find("\"return\":\"0\"") != std::string::npos;
  };
  // The first watch pass initialises the card library.
  const Clock::time_point waitStart = Clock::now();
  while (!agentSign()) {
    if (Seconds(waitStart) > 30) {
      std::fprintf(stderr, "the agent does not sign\n");
      return 1;
    }
  }

  CRawToken raw;
  if (!raw.Open()) {
    std::fprintf(stderr, "raw PKCS#11 session not opened\n");
    return 1;
  }
  const std::vector<double> rates =
      Rates({agentSign, [&] { return raw.Sign("benchmark text"); }}, dSeconds);
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
  server.Stop();
  resetCardLibrary();
  return 0;
}
