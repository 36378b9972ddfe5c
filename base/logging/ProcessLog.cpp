#include "base/logging/ProcessLog.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "base/system/DebugOutput.h"
#include "base/system/Process.h"

namespace {

// Built in static storage during static initialisation and never destroyed:
// detached threads may still log while the process exits, after static
// destructors have run, and must find the log and its lock intact. Every line
// is flushed when written, so nothing is lost by not closing the file.
template <typename T>
T& BuildImmortal() {
  alignas(T) static unsigned char s_storage[sizeof(T)];
  return *::new (static_cast<void*>(s_storage)) T();
}

}  // namespace

// The lock is built first, both in this order during static initialisation.
CBaseMutex& g_ProcessLogLock = BuildImmortal<CBaseMutex>();
CWriteDateLog& g_ProcessLog = BuildImmortal<CWriteDateLog>();

void WriteProcessLog(int nSource, unsigned nLevel, const char* szFormat, ...) {
  if (nLevel > g_ProcessLog.GetLogLevel()) return;

  // Everything up to the lock works on this call's own buffers: the stamp is
  // formatted here, never shared with another thread.
  // The id cannot change while the process runs; reading it once saves a
  // system call per line.
  static const unsigned long s_nPid = GetCurrentPid();
  char szStamp[CWriteLog::kStampSize];
  g_ProcessLog.CurrStamp(szStamp);
  char szLine[CWriteLog::kBufferSize];
  int n = std::snprintf(szLine, sizeof(szLine), "[%s][%08lu][%02d:%02u] ", szStamp, s_nPid,
                        nSource, nLevel);
  va_list args;
  va_start(args, szFormat);
  FormatLogText(szLine, sizeof(szLine), n < 0 ? 0u : static_cast<unsigned>(n), szFormat, args);
  va_end(args);

  DebugOutput(szLine);

  CAutoMutexT<CBaseMutex> lock(g_ProcessLogLock);
  CWriteLog& log = g_ProcessLog;
  if (log.PreWrite()) log.Output(szLine);
  log.Flush();
}
