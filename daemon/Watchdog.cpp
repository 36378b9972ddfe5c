#include "daemon/Watchdog.h"

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "base/logging/ProcessLog.h"
#include "base/system/Clock.h"
#include "base/system/NamedFlag.h"
#include "base/system/Process.h"
#include "base/search/DecimalText.h"
#include "daemon/ProcessWatch.h"
#include "daemon/WatchdogEnv.h"

namespace {

// A plain unsigned decimal number, or false.
bool NumberFromEnv(const char* szName, uint64_t& nValue) {
  std::string strValue;
  return GetEnvVar(szName, strValue) && ParseDecimalDigits(strValue, nValue);
}

}  // namespace

CWatchdogPolicy CWatchdogPolicy::FromEnvironment() {
  CWatchdogPolicy policy;
  uint64_t n = 0;
  if (NumberFromEnv(WATCHDOG_ENV_MAX_RESTARTS, n) && n <= 1000) {
    policy.m_nMaxRestarts = static_cast<unsigned>(n);
  }
  if (NumberFromEnv(WATCHDOG_ENV_WINDOW_MS, n)) policy.m_nRestartWindowMs = n;
  if (NumberFromEnv(WATCHDOG_ENV_BACKOFF_MS, n) && n <= 600000) {
    policy.m_dwFirstBackoffMs = static_cast<unsigned long>(n);
    if (policy.m_dwMaxBackoffMs < policy.m_dwFirstBackoffMs) {
      policy.m_dwMaxBackoffMs = policy.m_dwFirstBackoffMs;
    }
  }
  return policy;
}

std::vector<uint64_t> ParseRestartHistory(const std::string& strText) {
  std::vector<uint64_t> vecTicks;
  size_t nStart = 0;
  while (nStart <= strText.size()) {
    size_t nComma = strText.find(',', nStart);
    if (nComma == std::string::npos) nComma = strText.size();
    uint64_t n = 0;
    if (ParseDecimalDigits(strText.substr(nStart, nComma - nStart), n)) vecTicks.push_back(n);
    nStart = nComma + 1;
  }
  return vecTicks;
}

std::string FormatRestartHistory(const std::vector<uint64_t>& vecTicks) {
  std::string strText;
  for (uint64_t n : vecTicks) {
    if (!strText.empty()) strText += ',';
    strText += std::to_string(n);
  }
  return strText;
}

void PruneRestartHistory(std::vector<uint64_t>& vecTicks, uint64_t nNow, uint64_t nWindowMs) {
  std::vector<uint64_t> vecKept;
  for (uint64_t n : vecTicks) {
    // A tick from the future (another boot) is dropped as well.
    if (n <= nNow && nNow - n < nWindowMs) vecKept.push_back(n);
  }
  vecTicks.swap(vecKept);
}

unsigned long RestartBackoffMs(const CWatchdogPolicy& policy, size_t nEarlierRestarts) {
  unsigned long dwBackoff = policy.m_dwFirstBackoffMs;
  for (size_t i = 0; i < nEarlierRestarts && dwBackoff < policy.m_dwMaxBackoffMs; ++i) {
    dwBackoff *= 2;
  }
  return dwBackoff < policy.m_dwMaxBackoffMs ? dwBackoff : policy.m_dwMaxBackoffMs;
}

int RunWatchdog(const CWatchdogPolicy& policy) {
  std::string strQuitFlag;
  std::string strPid;
  std::string strModulePath;
  uint64_t nPid = 0;
  if (!GetEnvVar(WATCHDOG_ENV_QUIT_FLAG, strQuitFlag) || !GetEnvVar(WATCHDOG_ENV_PROCESS_ID, strPid) ||
      !GetEnvVar(WATCHDOG_ENV_MODULE_PATH, strModulePath) || !ParseDecimalDigits(strPid, nPid) ||
      strModulePath.empty()) {
    WriteProcessLog(0, 0, "Watchdog: quit_flag, process_id or module_path missing, exit.\n");
    return WATCHDOG_BAD_ENVIRONMENT;
  }

  // Open both while the agent (normally) still runs: on Windows the quit
  // event lives only while someone holds a handle to it.
  CNamedFlag quitFlag(strQuitFlag.c_str(), CNamedFlag::emOpenExisting);
  CProcessWatch watch(static_cast<unsigned long>(nPid));
  if (!quitFlag.IsValid()) {
    WriteProcessLog(0, 0, "Watchdog: cannot open quit event %s, exit.\n", strQuitFlag.c_str());
    return WATCHDOG_BAD_ENVIRONMENT;
  }
  WriteProcessLog(0, 1, "Watchdog: watching process %llu.\n",
                  static_cast<unsigned long long>(nPid));

  for (;;) {
    if (quitFlag.IsSet()) {
      WriteProcessLog(0, 1, "Watchdog: quit event set, exit.\n");
      quitFlag.Remove();
      return WATCHDOG_QUIT;
    }
    if (watch.WaitEnd(policy.m_dwPollMs)) break;
  }
  if (quitFlag.IsSet()) {
    WriteProcessLog(0, 1, "Watchdog: process %llu ended after the quit event, exit.\n",
                    static_cast<unsigned long long>(nPid));
    quitFlag.Remove();
    return WATCHDOG_QUIT;
  }
  // The agent is gone and nobody else reads its quit event now.
  quitFlag.Remove();

  std::string strHistory;
  GetEnvVar(WATCHDOG_ENV_RESTARTS, strHistory);
  std::vector<uint64_t> vecRestarts = ParseRestartHistory(strHistory);
  PruneRestartHistory(vecRestarts, GetTickCountMs(), policy.m_nRestartWindowMs);
  if (vecRestarts.size() >= policy.m_nMaxRestarts) {
    WriteProcessLog(0, 0,
                    "Watchdog: process %llu ended; %u restarts within %llu ms, giving up.\n",
                    static_cast<unsigned long long>(nPid), static_cast<unsigned>(vecRestarts.size()),
                    static_cast<unsigned long long>(policy.m_nRestartWindowMs));
    return WATCHDOG_GAVE_UP;
  }

  unsigned long dwBackoff = RestartBackoffMs(policy, vecRestarts.size());
  WriteProcessLog(0, 0, "Watchdog: process %llu ended unexpectedly, restarting in %lu ms.\n",
                  static_cast<unsigned long long>(nPid), dwBackoff);
  SleepMilliseconds(dwBackoff);

  vecRestarts.push_back(GetTickCountMs());
  SetEnvVar(WATCHDOG_ENV_RESTARTS, FormatRestartHistory(vecRestarts).c_str());
  CProcess agent;
  if (!agent.Start(strModulePath.c_str(), {strModulePath})) {
    WriteProcessLog(0, 0, "Watchdog: cannot start %s.\n", strModulePath.c_str());
    return WATCHDOG_RESTART_FAILED;
  }
  WriteProcessLog(0, 1, "Watchdog: restarted %s as process %lu.\n", strModulePath.c_str(),
                  agent.GetPid());
  return WATCHDOG_RESTARTED;
}
