#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/threads/BaseThread.h"
#include "http/ConnTracker.h"
#include "http/OriginPolicy.h"
#include "http/PendingConns.h"
#include "http/RequestParams.h"

// Run state of the service object, shared with the listener and key-watch
// threads.
enum class ServerState : int {
  Idle = 0,      // not started, or stopped
  Running = 1,   // the listener and key-watch loops go on
  Stopping = 3,  // the loops end at their next test
  Exited = 4,    // the listener thread has finished
};

// Listen attempts on the ports P to P + 9, backlog, longest readiness wait of
// one listener pass, and the wait for the listener when stopping.
constexpr int kBindAttempts = 10;
constexpr int kListenBacklog = 100;
constexpr unsigned kAcceptWaitMs = 80;
// The whole stop, from Stop to the end of the destructor: the wait for the
// listener and then for the connections still being served share it.
constexpr unsigned kStopWaitMs = 10000;
// Least time Stop gives a key-watch pass under way to end, also when the
// stop's own time is spent (a token look is bounded by 3 s).
constexpr unsigned kKeyWatchStopFloorMs = 3500;
// Descriptors kept out of the bound on waiting connections for everything
// else the process opens (log files, libraries, the served connections).
constexpr long kReservedFiles = 256;

// Where and how the service listens: the address text, the first port tried
// and the log level it reports at start; the bound of the log directory.
struct CServerSettings {
  std::string m_strIP = "127.0.0.1";
  uint16_t m_nPort = 8888;
  int m_nDebugLevel = 4;
  int m_nLogMaxMB = 256;  // MiB for every file in "Log"
  // Origins of the pages that may call the agent, separated by blanks;
  // empty: every page (see COriginPolicy).
  std::string m_strAllowedOrigins;
};

class CTcpServerSocket;

// The service object: the listener thread and the connections it serves.
// What a request does, the key-watch routine and the watchdog launcher are
// given to it by the process that puts the agent together.
class CTolvanServer : public CBaseThread {
 public:
  explicit CTolvanServer(const CServerSettings& settings);
  ~CTolvanServer() override;

  CTolvanServer(const CTolvanServer&) = delete;
  CTolvanServer& operator=(const CTolvanServer&) = delete;

  // Starts the listener thread; false when it could not be created.
  bool Start();
  // Ends the listener (waiting at most the stop time, kStopWaitMs) and
  // returns to Idle. Connections being served go on; the destructor waits
  // for them in what is left of the stop time. Always true.
  bool Stop();

  // Waits until the listener listens or has given up, at most nTimeoutMs;
  // true when it listens.
  bool WaitListening(unsigned nTimeoutMs);
  // The port the listener listens on (the bound one, also when the settings
  // asked for port 0); 0 while it does not listen.
  uint16_t GetListenPort() const { return m_nListenPort.load(); }

  // Limits for tests; to be set before Start.
  void SetServeLimits(unsigned nMaxServed, unsigned nCloseDelayMs,
                      unsigned nMaxClosing = kMaxClosingConnections);
  // Connections that may wait for their requests at once (kept within the
  // open-file limit at Start), and the time the whole stop may take.
  void SetPendingLimit(size_t nMaxPending) { m_nMaxPending = nMaxPending; }
  void SetStopWait(unsigned nStopWaitMs) { m_nStopWaitMs = nStopWaitMs; }
  // Connections whose requests are still arriving (listener's count, updated
  // once per pass).
  size_t PendingCount() const { return m_nPendingCount.load(); }
  // Connections being served now, and served ones waiting for their close.
  unsigned ServingCount() const;
  size_t ClosingCount() const;
  // Connection threads alive (busy or kept for the next connection).
  unsigned ThreadCount() const;

  // To be set before Start: the handler of every decoded request (without
  // one, no request is answered); the key-watch routine that the listener
  // starts on a detached thread with this object as its argument; the
  // watchdog launcher that Start calls.
  using KeyWatchRoutine = void (*)(void* pServer);
  using WatchdogLauncher = void (*)();
  void SetRequestHandler(RequestHandler pfnHandler) { m_pfnHandler = pfnHandler; }
  void SetKeyWatchRoutine(KeyWatchRoutine pfnRoutine) { m_pfnKeyWatch = pfnRoutine; }
  void SetWatchdogLauncher(WatchdogLauncher pfnLauncher) { m_pfnWatchdog = pfnLauncher; }

  // For the key-watch routine: waits at most nMs, ending early when the run
  // state leaves Running. True while the state is still Running.
  bool WaitWhileRunning(unsigned nMs);
  // Key-watch routines still running; Stop waits (at most kStopWaitMs) for
  // them to end, so none reads this object after it is gone.
  unsigned KeyWatchCount() const;

  std::atomic<ServerState> m_nState{ServerState::Idle};
  std::string m_strIP;       // listen address text
  uint16_t m_nPort = 0;      // first port tried
  int m_nDebugLevel = 0;     // configured log level

 private:
  friend unsigned long ServiceThreadProc(void* pParam);

  bool ListenLoop();  // false when listening could not begin
  void SetListening(uint16_t nPort, bool bListening);
  void AcceptAll(CTcpServerSocket& listener, CPendingConns& pending);
  void Finish(CPendingConns::Outcome& outcome);
  unsigned StopTimeLeft() const;

  std::shared_ptr<CConnTracker> m_pTracker;
  COriginPolicy m_originPolicy;
  RequestHandler m_pfnHandler = nullptr;
  KeyWatchRoutine m_pfnKeyWatch = nullptr;
  WatchdogLauncher m_pfnWatchdog = nullptr;

  size_t m_nMaxPending = kMaxPendingConnections;
  std::atomic<size_t> m_nPendingCount{0};
  unsigned m_nStopWaitMs = kStopWaitMs;
  uint64_t m_nStopTick = 0;  // tick count when the stop began; 0 before

  std::atomic<uint16_t> m_nListenPort{0};
  // Also wakes WaitWhileRunning and the wait for the key-watch routines.
  mutable std::mutex m_mutexListen;
  std::condition_variable m_cvListen;
  bool m_bListenDecided = false;  // the listener listens, or has given up
  unsigned m_nKeyWatchRunning = 0;  // under m_mutexListen

  void StartKeyWatch();
  void WakeStateWaiters();
};

// The listener thread's routine; pParam is the CTolvanServer. 0, or -1 when
// listening could not begin.
unsigned long ServiceThreadProc(void* pParam);
