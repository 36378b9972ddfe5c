#include "card/KeyWatchThread.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "base/logging/ProcessLog.h"
#include "card/KeyWatch.h"
#include "http/TolvanServer.h"

namespace {

std::atomic<unsigned> g_nWatchIntervalMs{KEY_WATCH_INTERVAL_MS};
std::atomic<unsigned long> g_nPasses{0};

// What the probe reported last, so that a state is logged once, not once per
// pass.
struct CProbeReportState {
  std::mutex m_mutex;
  int m_nTokens = emKeyProbeTokensRead;
  std::set<std::string> m_setNotCerts;
};

CProbeReportState& ReportState() {
  static CProbeReportState s_state;
  return s_state;
}

}  // namespace

void SetKeyWatchInterval(unsigned nMs) { g_nWatchIntervalMs = nMs; }
unsigned GetKeyWatchInterval() { return g_nWatchIntervalMs; }
unsigned long KeyWatchPassCount() { return g_nPasses; }

std::string ProbeAndReport() {
  const CKeyProbeResult result = ProbeUserKeyEx();
  CProbeReportState& state = ReportState();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  if (result.m_nTokens != state.m_nTokens) {
    const bool bFailure = result.m_nTokens != emKeyProbeTokensRead &&
                          result.m_nTokens != emKeyProbeNoTokenPart;
    WriteProcessLog(0, bFailure ? 0 : 1, "Key probe: %s, %s\n",
                    KeyProbeTokensText(result.m_nTokens),
                    bFailure ? "no key from the tokens" : "tokens are read again");
    state.m_nTokens = result.m_nTokens;
  }
  for (const std::string& strPath : result.m_vecNotCerts) {
    if (state.m_setNotCerts.insert(strPath).second) {
      WriteProcessLog(0, 0, "Key probe: %s is not a certificate, skipped\n", strPath.c_str());
    }
  }
  return result.m_strSerial;
}

void initThreadFun(void* pServer) {
  CTolvanServer* pTolvan = static_cast<CTolvanServer*>(pServer);
  runKeyWatch([pTolvan] { return pTolvan->m_nState.load() == ServerState::Running; },
              ProbeAndReport,
              [pTolvan] {
                ++g_nPasses;
                pTolvan->WaitWhileRunning(g_nWatchIntervalMs);
              });
}
