#pragma once

// The debugger output channel: short trace strings that are not worth a log
// line. On Windows they go to the attached debugger; on POSIX to standard error
// when TOLVAN_DEBUG_OUTPUT is set in the environment, else nowhere.

// Sends one NUL-terminated string to the channel. A null pointer is ignored.
void DebugOutput(const char* szText);

// True when the channel is read by anyone (POSIX: TOLVAN_DEBUG_OUTPUT is set,
// Windows: always, the debugger decides). Lets callers skip formatting.
bool DebugOutputEnabled();

