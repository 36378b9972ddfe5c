#pragma once

// The agent's watchdog. The agent starts it with three environment variables:
// "quit_flag" (the name of the agent's quit event), "process_id" (the agent's
// process id) and "module_path" (the agent's executable). The watchdog waits
// for the agent to end; when it ended without the quit event being set (a
// crash, a kill), it starts the agent again from "module_path". It ends as
// soon as the quit event is set, or once the agent ended after it was set.
//
// A restarted agent starts a watchdog of its own, so each watchdog restarts
// its agent at most once and then ends. The restarts are counted across these
// generations in the environment variable "TOLVAN_WATCHDOG_RESTARTS" (tick
// counts of recent restarts), which the agent passes on to its next
// watchdog: after kMaxRestarts restarts within kRestartWindowMs the watchdog
// gives up, so a crash loop does not go on for ever. Each restart waits a
// little longer than the one before (kFirstBackoffMs, doubling, at most
// kMaxBackoffMs).

#include <cstdint>
#include <string>
#include <vector>

struct CWatchdogPolicy {
  static constexpr unsigned kMaxRestarts = 5;
  static constexpr uint64_t kRestartWindowMs = 60000;
  static constexpr unsigned long kFirstBackoffMs = 500;
  static constexpr unsigned long kMaxBackoffMs = 8000;

  unsigned m_nMaxRestarts = kMaxRestarts;
  uint64_t m_nRestartWindowMs = kRestartWindowMs;
  unsigned long m_dwFirstBackoffMs = kFirstBackoffMs;
  unsigned long m_dwMaxBackoffMs = kMaxBackoffMs;
  // How often the quit event is tested while the agent runs.
  unsigned long m_dwPollMs = 200;

  // The defaults, each overridable (for tests and for packagers) through
  // "TOLVAN_WATCHDOG_MAX_RESTARTS", "TOLVAN_WATCHDOG_WINDOW_MS" and
  // "TOLVAN_WATCHDOG_BACKOFF_MS". Values that are not plain numbers are
  // ignored.
  static CWatchdogPolicy FromEnvironment();
};

// The recent restarts, oldest first, as tick counts in milliseconds.
std::vector<uint64_t> ParseRestartHistory(const std::string& strText);
std::string FormatRestartHistory(const std::vector<uint64_t>& vecTicks);
// Drops the entries older than nWindowMs before nNow.
void PruneRestartHistory(std::vector<uint64_t>& vecTicks, uint64_t nNow, uint64_t nWindowMs);
// The wait before the next restart, given how many came before it.
unsigned long RestartBackoffMs(const CWatchdogPolicy& policy, size_t nEarlierRestarts);

// What a watchdog run ended with; also its exit code.
enum emWatchdogResult : int {
  WATCHDOG_QUIT = 0,          // the quit event was set: the user chose to exit
  WATCHDOG_RESTARTED = 1,     // the agent ended unasked and was started again
  WATCHDOG_GAVE_UP = 2,       // too many restarts in a short time
  WATCHDOG_RESTART_FAILED = 3,
  WATCHDOG_BAD_ENVIRONMENT = 4,
};

// Runs the watchdog with the variables of this process's environment. Logs
// through the process log.
int RunWatchdog(const CWatchdogPolicy& policy);
