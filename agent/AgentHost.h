#pragma once

// The platform half of the agent's process entry: the user interface it
// shows while it serves, the signals that stop it, and the loop that keeps
// the main thread alive.
//
// Windows: a hidden tool window owning a notification-area icon whose menu's
//   one item ("退出") ends the agent: it sets the quit event, removes the
//   icon, posts the quit message and clears g_bRunning. The loop sleeps
//   200 ms and pumps messages until the quit message, while g_bRunning is
//   set. SIGABRT, SIGINT and SIGTERM only clear g_bRunning.
// POSIX: no window and no tray. SIGINT, SIGTERM, SIGHUP and SIGQUIT clear
//   g_bRunning; the loop sees it within 200 ms, and since a signal is the
//   only way a user stops the agent here, the loop then sets the quit event
//   so that the watchdog lets the agent go. SIGPIPE is ignored (a peer that goes away must not
//   end the agent). A crash (SIGABRT, SIGSEGV) keeps its default action, and
//   the watchdog restarts the agent.

#include <csignal>

// Windows: the message (WM_APP + 1, no parameters) that another program posts
// to the agent's window, found by its class and title "Kaltor Client 5.0", to
// end the agent the way the tray menu's exit item does. The setup program's
// uninstaller uses it before it removes the files.
const unsigned kAgentExitMessage = 0x8001;

// The main loop goes on while this is set. Cleared by the exit menu item and
// by the signal handler.
extern volatile std::sig_atomic_t g_bRunning;

// Creates the window and its tray icon (Windows). False when the window class
// cannot be registered; the user has then been told and the agent leaves.
bool CreateAgentHost();

// Installs the handlers for the signals that stop the agent.
void InstallStopSignals();

// Runs the main loop until the agent is to stop.
void RunAgentLoop();

// Removes the tray icon and the window if they are still there.
void DestroyAgentHost();
