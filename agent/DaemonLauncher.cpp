#include "agent/DaemonLauncher.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/logging/ProcessLog.h"
#include "base/system/Clock.h"
#include "base/system/ExePath.h"
#include "base/system/NamedFlag.h"
#include "base/system/Process.h"
#include "daemon/WatchdogEnv.h"

#ifndef TOLVAN_EXE_SUFFIX
#define TOLVAN_EXE_SUFFIX ""
#endif

namespace {

// The quit event, held for the life of the process.
std::unique_ptr<CNamedFlag> g_hQuitEvent;
std::string g_strQuitEventName;
bool g_bDaemonStarted = false;

}  // namespace

bool StartDaemon() {
  char szModule[260] = {0};
  std::string strModulePath;
  if (GetExePath(szModule, sizeof(szModule))) strModulePath = szModule;
  std::string strDaemonPath =
      JoinPath(PathDirectory(strModulePath), std::string("TolvanDaemon") + TOLVAN_EXE_SUFFIX);

  char szName[64];
  std::snprintf(szName, sizeof(szName), "vex50_%s%llu", "quit_flag",
                static_cast<unsigned long long>(GetTickCountMs()));
  char szPid[32];
  std::snprintf(szPid, sizeof(szPid), "%lu", GetCurrentPid());

  g_strQuitEventName = szName;
  g_hQuitEvent = std::make_unique<CNamedFlag>(szName, CNamedFlag::emCreate);

  SetEnvVar(WATCHDOG_ENV_QUIT_FLAG, szName);
  SetEnvVar(WATCHDOG_ENV_PROCESS_ID, szPid);
  SetEnvVar(WATCHDOG_ENV_MODULE_PATH, strModulePath.c_str());

  // The watchdog outlives this object: CProcess lets the child run on. It
  // starts with no standard streams and the system's default error mode.
  // It inherits no handle: an inherited listening or connection socket
  // would keep the agent's port bound (and its clients waiting) after the
  // agent ended, so a restarted agent could not listen there.
  CProcess daemon;
  if (strModulePath.empty() ||
      !daemon.Start(strDaemonPath.c_str(), {strDaemonPath}, nullptr,
                    CProcess::emNoStdHandles | CProcess::emDefaultErrorMode)) {
    WriteProcessLog(0, 0, "Cannot start Daemon.\n");
  } else {
    g_bDaemonStarted = true;
  }
  return true;
}

bool IsServiceSupervised() {
  std::string strValue;
  return GetEnvVar(AGENT_ENV_SUPERVISED, strValue) && strValue == "1";
}

void SetQuitEvent() {
  if (g_hQuitEvent) g_hQuitEvent->Set();
}

const char* GetQuitEventName() { return g_strQuitEventName.c_str(); }

void ReleaseQuitEvent() {
  if (g_hQuitEvent && !g_bDaemonStarted) g_hQuitEvent->Remove();
  g_hQuitEvent.reset();
}
