// Silent-connection floods against the agent's front end (in this process,
// answering through the real router): the time a real request takes while
// 1,500 connections are open and send nothing, and the threads and resident
// memory of the process while 10,000 connection attempts come in one burst.
// Thread count and memory are the whole process's, this load generator's
// share included.
//
//   bench_flood [silent connections] [burst size]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "agent/RouteRequest.h"
#include "base/logging/ProcessLog.h"
#include "base/sockets/SocketApi.h"
#include "base/sockets/TcpSocket.h"
#include "http/TolvanServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// "Threads" and "VmRSS" (KiB) of this process.
void ProcessFigures(long& nThreads, long& nRssKiB) {
  std::ifstream in("/proc/self/status");
  std::string strLine;
  while (std::getline(in, strLine)) {
    if (strLine.compare(0, 8, "Threads:") == 0) nThreads = std::atol(strLine.c_str() + 8);
    if (strLine.compare(0, 6, "VmRSS:") == 0) nRssKiB = std::atol(strLine.c_str() + 6);
  }
}

// One real request on a new connection; milliseconds until its whole
// response, or -1 when none came.
double TimedRequest(uint16_t nPort) {
  const auto tStart = Clock::now();
  CTcpSocket socket(true, false);
  const std::string strRequest =
      "POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 72\r\n\r\n"
      "Fun=cloudPing&padding=" + std::string(50, 'p');
  if (!socket.Connect("127.0.0.1", nPort) ||
      socket.Send(strRequest.data(), static_cast<unsigned>(strRequest.size()), 0) <= 0) {
    socket.CloseSocket();
    return -1;
  }
  std::string strGot;
  char szBuf[4096];
  while (socket.CanReceive(10, 0) > 0) {
    const int nGot = socket.Receive(szBuf, sizeof(szBuf), 0);
    if (nGot <= 0) break;
    strGot.append(szBuf, static_cast<size_t>(nGot));
    if (strGot.find("}\r\n\r\n") != std::string::npos) break;
  }
  socket.CloseSocket();
  return strGot.find("\"return\"") != std::string::npos ? MsSince(tStart) : -1;
}

// Opens nCount connections without waiting for them (non-blocking connect).
std::vector<SocketHandle> OpenSilent(uint16_t nPort, int nCount) {
  std::vector<SocketHandle> vecOpen;
  const SockAddrIn4 addr = SockMakeAddr(SockInetAddr("127.0.0.1"), nPort);
  for (int i = 0; i < nCount; ++i) {
    const SocketHandle h = SockOpenTcp();
    if (h == INVALID_SOCKET_HANDLE) break;
    SockSetNonBlocking(h, true);
    SockConnect(h, addr);
    vecOpen.push_back(h);
  }
  return vecOpen;
}

void CloseAll(std::vector<SocketHandle>& vecOpen) {
  for (SocketHandle h : vecOpen) SockClose(h);
  vecOpen.clear();
}

void Report(const char* szWhat, std::vector<double> vecMs) {
  std::sort(vecMs.begin(), vecMs.end());
  const long nFailed = std::count(vecMs.begin(), vecMs.end(), -1.0);
  std::printf("%s: %zu requests, %ld unanswered, median %.1f ms, max %.1f ms\n", szWhat,
              vecMs.size(), nFailed, vecMs[vecMs.size() / 2], vecMs.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int nSilent = argc > 1 ? std::atoi(argv[1]) : 1500;
  const int nBurst = argc > 2 ? std::atoi(argv[2]) : 10000;
  g_ProcessLog.SetLogLevel(0);  // failures only: the log is not what is measured

  CServerSettings settings;
  settings.m_nPort = 0;
  CTolvanServer server(settings);
  server.SetRequestHandler(RouteRequest);
  if (!server.Start() || !server.WaitListening(10000)) {
    std::fprintf(stderr, "the server does not listen\n");
    return 1;
  }
  const uint16_t nPort = server.GetListenPort();
  long nThreads = 0;
  long nRss = 0;
  ProcessFigures(nThreads, nRss);
  std::printf("idle: %ld threads, %ld KiB resident\n", nThreads, nRss);

  // 1. Silent connections held open, then real requests one after another.
  // They are opened in batches that the listener takes in before the next
  // (a burst beyond the listen backlog waits for the clients' retries), and
  // the requests follow at once: each silent one is reset 5 s after its
  // accept.
  std::vector<SocketHandle> vecSilent;
  const auto tOpen = Clock::now();
  while (static_cast<int>(vecSilent.size()) < nSilent) {
    std::vector<SocketHandle> vecPart =
        OpenSilent(nPort, std::min(50, nSilent - static_cast<int>(vecSilent.size())));
    vecSilent.insert(vecSilent.end(), vecPart.begin(), vecPart.end());
    const auto tBatch = Clock::now();
    while (server.PendingCount() < vecSilent.size() && MsSince(tBatch) < 1000) {
    }
  }
  std::printf("%zu silent connections opened in %.0f ms, %zu waiting in the agent\n",
              vecSilent.size(), MsSince(tOpen), server.PendingCount());
  std::vector<double> vecMs;
  for (int i = 0; i < 20; ++i) vecMs.push_back(TimedRequest(nPort));
  Report("with silent connections", vecMs);
  std::printf("  still waiting in the agent: %zu\n", server.PendingCount());
  ProcessFigures(nThreads, nRss);
  std::printf("  %ld threads, %ld KiB resident\n", nThreads, nRss);
  CloseAll(vecSilent);

  // 2. A burst of connection attempts, all left silent; requests during and
  // after it, and the highest thread count and memory seen.
  long nMaxThreads = 0;
  long nMaxRss = 0;
  std::vector<SocketHandle> vecBurst;
  std::vector<double> vecDuring;
  const auto tBurst = Clock::now();
  for (int nDone = 0; nDone < nBurst; nDone += 500) {
    std::vector<SocketHandle> vecPart = OpenSilent(nPort, std::min(500, nBurst - nDone));
    vecBurst.insert(vecBurst.end(), vecPart.begin(), vecPart.end());
    vecDuring.push_back(TimedRequest(nPort));
    ProcessFigures(nThreads, nRss);
    nMaxThreads = std::max(nMaxThreads, nThreads);
    nMaxRss = std::max(nMaxRss, nRss);
  }
  const double dBurstMs = MsSince(tBurst);
  std::printf("burst: %zu connection attempts in %.0f ms, %zu waiting in the agent\n",
              vecBurst.size(), dBurstMs, server.PendingCount());
  Report("during the burst", vecDuring);
  vecMs.clear();
  for (int i = 0; i < 20; ++i) vecMs.push_back(TimedRequest(nPort));
  Report("after the burst", vecMs);
  ProcessFigures(nThreads, nRss);
  nMaxThreads = std::max(nMaxThreads, nThreads);
  nMaxRss = std::max(nMaxRss, nRss);
  std::printf("  at most %ld threads, %ld KiB resident (%.1f MiB)\n", nMaxThreads, nMaxRss,
              nMaxRss / 1024.0);
  CloseAll(vecBurst);
  server.Stop();
  return 0;
}
