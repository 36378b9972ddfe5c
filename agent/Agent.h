#pragma once

// The agent's process entry, the same on every platform: one instance per
// logon ("Orv_Vex5.0"), the host's window and tray (Windows), the service
// object with its settings and log, the watchdog, the signals, the main loop,
// and an orderly stop. Returns the process exit code, 0.
int AgentMain();
