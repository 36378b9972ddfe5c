#pragma once

// The process-wide log. Every part of the program reports through
// WriteProcessLog: a line "[stamp][pid][source:level] message" goes to the
// debugger output channel and, under g_ProcessLogLock, to g_ProcessLog's daily
// file. Each line's stamp is taken by the calling thread for itself, so
// concurrent lines never share or garble one.
//
// g_ProcessLog starts as a CWriteDateLog with prefix "temp~", extension "log",
// the executable's directory, 7 reserved days, output to the file and level
// threshold 10; the application configures it once at start, before its
// threads run. The threshold may be changed at any time (SetLogLevel).

#include "base/logging/WriteDateLog.h"
#include "base/threads/BaseMutex.h"

// Both live from static initialisation to the very end of the process: they
// are never destroyed, so threads that log while the process exits are safe.
extern CWriteDateLog& g_ProcessLog;
extern CBaseMutex& g_ProcessLogLock;

// nSource: 0 the service as a whole, 1 a connection or request. nLevel: 0
// failures, 1 events, 3 traces; a line is written when nLevel is not above
// g_ProcessLog's threshold. The format supplies the line end. A line is cut
// at 4,096 characters (and then ends with '\n').
void WriteProcessLog(int nSource, unsigned nLevel, const char* szFormat, ...) TOLVAN_PRINTF(3, 4);
