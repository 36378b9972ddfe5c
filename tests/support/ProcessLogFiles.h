#pragma once

// The process log as tests point it at a temporary directory and read it back.

#include <filesystem>
#include <string>

#include "base/logging/ProcessLog.h"
#include "tests/support/TestFiles.h"

// Closes the process log's file, so that its lines are on disk and its
// directory can be removed.
inline void CloseProcessLog() {
  CAutoMutexT<CBaseMutex> lock(g_ProcessLogLock);
  g_ProcessLog.CloseFile();
}

// Points the process log at "Log" in dir, writing from nLevel down.
inline void LogTo(const std::filesystem::path& dir, int nLevel = 3) {
  CloseProcessLog();  // a file still open elsewhere would take this test's lines
  g_ProcessLog.SetFilePath((dir / "Log").string().c_str());
  g_ProcessLog.SetLogLevel(nLevel);
}

// Every file in "Log" of dir, after closing the one being written.
inline std::string ReadProcessLog(const std::filesystem::path& dir) {
  CloseProcessLog();
  return ReadFilesIn(dir / "Log");
}
