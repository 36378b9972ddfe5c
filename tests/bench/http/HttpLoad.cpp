// Load generator: one connection per request, as a page's script makes them.
// Each client connects, sends one request, reads the whole response (by its
// Content-Length), closes, and starts again. Measures requests per second
// and latency percentiles with 1 and 64 clients against the agent's front end
// (in this process) and, when a port is given, against another server on
// 127.0.0.1 (nginx, started by ./run).
//
//   bench_http [--seconds S] [--nginx-port P] [--log-level L]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/sockets/TcpSocket.h"
#include "agent/AgentSettings.h"
#include "agent/RouteRequest.h"
#include "http/TolvanServer.h"

namespace {

using Clock = std::chrono::steady_clock;

struct LoadResult {
  double dRate = 0;  // requests per second
  double dP50 = 0, dP90 = 0, dP99 = 0, dMax = 0;  // milliseconds
  long nDone = 0;
  long nFailed = 0;
};

// One request on a new connection from szSource; true when a whole response
// came back.
bool OneRequest(uint16_t nPort, const std::string& strRequest, const char* szSource) {
  CTcpSocket socket(true, false);
  // Each client has a loopback source address of its own: the agent resets a
  // connection only 2,000 ms after its response, so a client's ports stay
  // taken that long, and one address for all clients would make the
  // kernel's search for a free port the cost being measured.
  if (!socket.Bind(0, szSource) || !socket.Connect("127.0.0.1", nPort)) {
    socket.CloseSocket();
    return false;
  }
  if (socket.Send(strRequest.data(), static_cast<unsigned>(strRequest.size()), 0) !=
      static_cast<int>(strRequest.size())) {
    socket.CloseSocket();
    return false;
  }
  std::string strReceived;
  char szBuf[4096];
  bool bWhole = false;
  for (;;) {
    const int nGot = socket.Receive(szBuf, sizeof(szBuf), 0);
    if (nGot <= 0) break;
    strReceived.append(szBuf, static_cast<size_t>(nGot));
    const size_t nHeadEnd = strReceived.find("\r\n\r\n");
    if (nHeadEnd == std::string::npos) continue;
    size_t nLenPos = strReceived.find("Content-Length: ");
    if (nLenPos == std::string::npos || nLenPos > nHeadEnd) break;
    const size_t nBody = std::strtoul(strReceived.c_str() + nLenPos + 16, nullptr, 10);
    if (strReceived.size() >= nHeadEnd + 4 + nBody) {
      bWhole = strReceived.compare(0, 15, "HTTP/1.1 200 OK") == 0;
      break;
    }
  }
  socket.CloseSocket();
  return bWhole;
}

LoadResult RunLoad(uint16_t nPort, const std::string& strRequest, int nClients, double dSeconds) {
  std::atomic<bool> bGo{true};
  std::vector<std::vector<double>> vecLatencies(static_cast<size_t>(nClients));
  std::vector<long> vecFailed(static_cast<size_t>(nClients), 0);
  std::vector<std::thread> vecThreads;
  const Clock::time_point tStart = Clock::now();
  for (int i = 0; i < nClients; ++i) {
    vecThreads.emplace_back([&, i] {
      const std::string strSource = "127.0.0." + std::to_string(2 + i % 200);
      std::vector<double>& vecMine = vecLatencies[static_cast<size_t>(i)];
      vecMine.reserve(200000);
      while (bGo.load(std::memory_order_relaxed)) {
        const Clock::time_point t0 = Clock::now();
        if (OneRequest(nPort, strRequest, strSource.c_str())) {
          vecMine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        } else {
          ++vecFailed[static_cast<size_t>(i)];
        }
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
  bGo = false;
  for (std::thread& th : vecThreads) th.join();
  const double dElapsed = std::chrono::duration<double>(Clock::now() - tStart).count();

  std::vector<double> vecAll;
  LoadResult r;
  for (size_t i = 0; i < vecLatencies.size(); ++i) {
    vecAll.insert(vecAll.end(), vecLatencies[i].begin(), vecLatencies[i].end());
    r.nFailed += vecFailed[i];
  }
  std::sort(vecAll.begin(), vecAll.end());
  r.nDone = static_cast<long>(vecAll.size());
  r.dRate = static_cast<double>(r.nDone) / dElapsed;
  if (!vecAll.empty()) {
    auto pick = [&](double q) { return vecAll[static_cast<size_t>(q * (vecAll.size() - 1))]; };
    r.dP50 = pick(0.50);
    r.dP90 = pick(0.90);
    r.dP99 = pick(0.99);
    r.dMax = vecAll.back();
  }
  return r;
}

void Print(const char* szName, int nClients, const LoadResult& r) {
  std::printf("%-8s %3d clients: %9.0f req/s  p50 %7.3f ms  p90 %7.3f ms  p99 %7.3f ms  "
              "max %8.3f ms  (%ld done, %ld failed)\n",
              szName, nClients, r.dRate, r.dP50, r.dP90, r.dP99, r.dMax, r.nDone, r.nFailed);
}

}  // namespace

int main(int argc, char** argv) {
  double dSeconds = 3.0;
  int nNginxPort = 0;
  int nLogLevel = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) dSeconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--nginx-port") == 0) nNginxPort = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--log-level") == 0) nLogLevel = std::atoi(argv[i + 1]);
  }

  // The agent's front end, with its settings and log in a directory of its own.
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tolvan-bench-http-" + std::to_string(CBaseThread::GetCurrentProcessId()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "TolvanService.ini")
      << "[Config]\nIP=127.0.0.1\nPort=0\nDebugLevel=" << nLogLevel << "\n";
  LoadResult agent1, agent64, nginx1, nginx64;
  {
    const CServerSettings settings = ReadAgentSettings(dir.string());
    ConfigureProcessLog(dir.string(), settings.m_nDebugLevel);
    CTolvanServer server(settings);
    server.SetRequestHandler(RouteRequest);
    if (!server.Start() || !server.WaitListening(10000)) {
      std::fprintf(stderr, "the agent's front end did not listen\n");
      return 1;
    }
    const uint16_t nPort = server.GetListenPort();
    const std::string strRequest =
        "POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
        "application/x-www-form-urlencoded\r\nContent-Length: 10\r\n\r\nFun=cloudX";
    std::printf("agent on port %u, log level %d, %.1f s per run; one connection per request\n",
                nPort, nLogLevel, dSeconds);
    RunLoad(nPort, strRequest, 1, 0.3);  // warm-up
    agent1 = RunLoad(nPort, strRequest, 1, dSeconds);
    Print("agent", 1, agent1);
    agent64 = RunLoad(nPort, strRequest, 64, dSeconds);
    Print("agent", 64, agent64);
    server.Stop();
  }
  std::filesystem::remove_all(dir);

  if (nNginxPort > 0) {
    const uint16_t nPort = static_cast<uint16_t>(nNginxPort);
    const std::string strRequest =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    RunLoad(nPort, strRequest, 1, 0.3);
    nginx1 = RunLoad(nPort, strRequest, 1, dSeconds);
    Print("nginx", 1, nginx1);
    nginx64 = RunLoad(nPort, strRequest, 64, dSeconds);
    Print("nginx", 64, nginx64);
    std::printf("\nagent / nginx, requests per second: 1 client %.2f, 64 clients %.2f\n",
                nginx1.dRate > 0 ? agent1.dRate / nginx1.dRate : 0.0,
                nginx64.dRate > 0 ? agent64.dRate / nginx64.dRate : 0.0);
  }
  std::printf("goals: p50 with 1 client under 1 ms (%.3f ms: %s)", agent1.dP50,
              agent1.dP50 < 1.0 ? "met" : "missed");
  if (nNginxPort > 0) {
    const double dRatio = nginx64.dRate > 0 ? agent64.dRate / nginx64.dRate : 0.0;
    std::printf("; 64 clients at least half of nginx (%.2f: %s)", dRatio,
                dRatio >= 0.5 ? "met" : "missed");
  }
  std::printf("\n");
  return 0;
}
