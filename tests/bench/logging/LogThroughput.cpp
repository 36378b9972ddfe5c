// Throughput of the process log: WriteProcessLog lines per second from 1 and
// 8 threads, against fwrite of the same bytes to a file in the same directory.
// Two fwrite baselines: buffered (stdio's own buffering), and flushed after
// every line (one write call per line, as the log does).
//
//   bench_logging [lines per run, default 200000] [directory, default the temp directory]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/logging/ProcessLog.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kMessage[] = "bench line %06d: accept new request from 127.0.0.1, Fun=advSignData\n";

template <typename F>
double TimeThreads(int nThreads, int nLinesEach, F fn) {
  auto t0 = Clock::now();
  std::vector<std::thread> v;
  for (int t = 0; t < nThreads; ++t) v.emplace_back([&, t] { fn(t, nLinesEach); });
  for (auto& th : v) th.join();
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

double RunProcessLog(int nThreads, int nLines) {
  return TimeThreads(nThreads, nLines / nThreads, [](int, int n) {
    for (int i = 0; i < n; ++i) WriteProcessLog(1, 3, kMessage, i);
  });
}

double RunFwrite(const std::string& strPath, const std::string& strLine, int nThreads, int nLines,
                 bool bFlushEach) {
  FILE* f = std::fopen(strPath.c_str(), "ab");
  if (f == nullptr) return -1;
  double d = TimeThreads(nThreads, nLines / nThreads, [&](int, int n) {
    for (int i = 0; i < n; ++i) {
      std::fwrite(strLine.data(), 1, strLine.size(), f);
      if (bFlushEach) std::fflush(f);
    }
  });
  auto t0 = Clock::now();
  std::fclose(f);
  return d + std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  int nLines = argc > 1 ? std::atoi(argv[1]) : 200000;
  if (nLines < 8) nLines = 8;
  std::filesystem::path dir = argc > 2 ? std::filesystem::path(argv[2])
                                       : std::filesystem::temp_directory_path();
  dir /= "tolvan-bench-logging-" + std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
  std::filesystem::create_directories(dir);

  g_ProcessLog.SetFilePath(dir.string().c_str());
  g_ProcessLog.SetPreFileName("Tolvan");
  g_ProcessLog.SetLogLevel(3);
  g_ProcessLog.SetOutFlag(emLogFile);

  // One line exactly as the log writes it, for the baselines.
  char szMsg[256];
  std::snprintf(szMsg, sizeof(szMsg), kMessage, 123456);
  const std::string strLine = "[2026-12-04 14:55:16.123][00004312][01:03] " + std::string(szMsg);
  const std::string strRaw = (dir / "raw.log").string();

  std::printf("lines per run: %d, line length: %zu bytes, directory: %s\n", nLines, strLine.size(),
              dir.string().c_str());
  std::printf("%-8s %18s %18s %18s %10s %10s\n", "threads", "WriteProcessLog/s", "fwrite/s",
              "fwrite+fflush/s", "ratio", "ratio(ff)");
  for (int nThreads : {1, 8}) {
    int n = nLines - nLines % nThreads;
    RunProcessLog(nThreads, n / 10);  // warm-up: file open, page cache
    double dLog = RunProcessLog(nThreads, n);
    double dRaw = RunFwrite(strRaw, strLine, nThreads, n, false);
    double dRawFlush = RunFwrite(strRaw, strLine, nThreads, n, true);
    double rLog = n / dLog;
    double rRaw = n / dRaw;
    double rRawFlush = n / dRawFlush;
    std::printf("%-8d %18.0f %18.0f %18.0f %10.3f %10.3f\n", nThreads, rLog, rRaw, rRawFlush,
                rLog / rRaw, rLog / rRawFlush);
  }
  std::printf("ratio = WriteProcessLog lines/s divided by fwrite lines/s (1.0 = as fast)\n");

  // The directory's size bound: lines counted against a bound far away, and
  // lines dropped once a bound is reached.
  g_ProcessLog.SetMaxDirSize(int64_t{1} << 40);
  RunProcessLog(1, nLines / 10);
  const double dBounded = nLines / RunProcessLog(1, nLines);
  g_ProcessLog.SetMaxDirSize(1);
  RunProcessLog(1, 10);
  const double dDropped = nLines / RunProcessLog(1, nLines);
  g_ProcessLog.SetMaxDirSize(0);
  std::printf("1 thread under a directory size bound: %.0f lines/s written, %.0f lines/s dropped "
              "once the bound is reached\n",
              dBounded, dDropped);

  g_ProcessLog.CloseFile();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
