#include "agent/AgentHost.h"

#include <cerrno>
#include <ctime>

#include <signal.h>

#include "agent/DaemonLauncher.h"
#include "base/logging/ProcessLog.h"

volatile std::sig_atomic_t g_bRunning = 1;

namespace {

volatile std::sig_atomic_t g_nStopSignal = 0;

void OnSignal(int nSignal) {
  g_nStopSignal = nSignal;
  g_bRunning = 0;
}

}  // namespace

bool CreateAgentHost() { return true; }

void InstallStopSignals() {
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  // SIGHUP (the terminal closed, the session ended) and SIGQUIT stop the
  // agent like SIGTERM: killed by them, it would leave without its quit
  // event, and the watchdog would start it again outside the session.
  for (int nSignal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(nSignal, &sa, nullptr);
  struct sigaction ign = {};
  ign.sa_handler = SIG_IGN;
  sigemptyset(&ign.sa_mask);
  ::sigaction(SIGPIPE, &ign, nullptr);
}

void RunAgentLoop() {
  while (g_bRunning) {
    struct timespec ts = {0, 200L * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR && g_bRunning) {
    }
  }
  WriteProcessLog(0, 1, "Stop requested by signal %d.\n", static_cast<int>(g_nStopSignal));
  SetQuitEvent();
}

void DestroyAgentHost() {}
