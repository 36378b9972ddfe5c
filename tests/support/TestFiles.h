#pragma once

// Files and waits shared by the tests: whole-file reads and writes, the text
// of a directory's files, and polling against a deadline.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>

// The file's bytes; "" when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& strBytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << strBytes;
}

// The text of every file in dir whose name starts with szPrefix, joined in
// directory order; "" when dir does not exist.
inline std::string ReadFilesIn(const std::filesystem::path& dir, const char* szPrefix = "") {
  std::string strAll;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().filename().string().rfind(szPrefix, 0) == 0) strAll += ReadFile(entry.path());
  }
  return strAll;
}

// Calls fnDone every 20 ms until it holds (true) or nTimeoutMs have passed
// (false).
inline bool WaitUntil(const std::function<bool()>& fnDone, unsigned nTimeoutMs) {
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
  for (;;) {
    if (fnDone()) return true;
    if (std::chrono::steady_clock::now() >= tEnd) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
