#pragma once

// Environment variables through which the agent tells the watchdog who it is,
// and through which restarted agents pass the watchdog's history on.

// The quit event's name ("vex50_quit_flag" followed by the tick count).
constexpr const char* WATCHDOG_ENV_QUIT_FLAG = "quit_flag";
// The agent's process id, in decimal.
constexpr const char* WATCHDOG_ENV_PROCESS_ID = "process_id";
// The agent's executable, to start again.
constexpr const char* WATCHDOG_ENV_MODULE_PATH = "module_path";
// Tick counts of the restarts so far, comma-separated.
constexpr const char* WATCHDOG_ENV_RESTARTS = "TOLVAN_WATCHDOG_RESTARTS";
// Limits of the restart policy (plain decimal numbers).
constexpr const char* WATCHDOG_ENV_MAX_RESTARTS = "TOLVAN_WATCHDOG_MAX_RESTARTS";
constexpr const char* WATCHDOG_ENV_WINDOW_MS = "TOLVAN_WATCHDOG_WINDOW_MS";
constexpr const char* WATCHDOG_ENV_BACKOFF_MS = "TOLVAN_WATCHDOG_BACKOFF_MS";
