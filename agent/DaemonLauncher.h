#pragma once

// Starts the watchdog program "TolvanDaemon" from the agent's own directory
// and creates the quit event it tests. The watchdog learns who the agent is
// from three environment variables set here: "quit_flag" (the quit event's
// name, "vex50_quit_flag" followed by the tick count at launch),
// "process_id" and "module_path" (the agent's executable).

// Set to "1" by a service manager that restarts the agent itself (the systemd
// user unit does): the agent then starts no watchdog, so that two supervisors
// never race to restart it.
constexpr const char* AGENT_ENV_SUPERVISED = "TOLVAN_SUPERVISED";

// True when AGENT_ENV_SUPERVISED is "1".
bool IsServiceSupervised();

// Creates the quit event, sets the variables and starts the watchdog. Logs
// "Cannot start Daemon.\n" when the program cannot be started; the agent
// runs on regardless. Always true.
bool StartDaemon();

// Sets the quit event, telling the watchdog that the agent ends on purpose
// and must not be restarted. Nothing when StartDaemon has not run.
void SetQuitEvent();

// Called once as the agent ends: when no watchdog was started, nobody else
// will remove the quit event, so it is removed here.
void ReleaseQuitEvent();

// The quit event's name; empty before StartDaemon.
const char* GetQuitEventName();
