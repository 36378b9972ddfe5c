#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class CClientConn;

// At most this many connections are being served at once (from the moment
// their request is complete until their response has been handed to the
// network); a complete request beyond it is reset at once. Connections whose
// requests are still arriving do not count (see CPendingConns).
constexpr unsigned kMaxServedConnections = 256;
// Pause between handing a response to the network and the abortive close.
constexpr unsigned kCloseDelayMs = 2000;
// At most this many served connections wait for their close. Each holds a
// socket for the whole pause, so under a flood the oldest one is reset early
// rather than running the process out of sockets (at which point no client
// could be served). A browser's requests come nowhere near this.
constexpr unsigned kMaxClosingConnections = 4096;
// A connection thread with nothing to do for this long ends.
constexpr unsigned kIdleThreadMs = 30000;

// The connections of one server: the threads that serve them, and the served
// ones waiting for their abortive close.
//
// Each accepted connection is served by one connection thread running
// threadFun. Threads are kept for the next connection when they are done (a
// thread per connection costs more than serving a request), at most one per
// connection that may be served at once. One closer thread resets each served
// connection when its pause is up, so a pause holds a socket but no thread.
//
// Connection threads are detached and share the tracker (shared_ptr): a
// connection being served when the server goes keeps its thread, which ends
// after it.
class CConnTracker : public std::enable_shared_from_this<CConnTracker> {
 public:
  explicit CConnTracker(unsigned nMaxServed = kMaxServedConnections,
                        unsigned nCloseDelayMs = kCloseDelayMs,
                        unsigned nMaxClosing = kMaxClosingConnections);
  CConnTracker(const CConnTracker&) = delete;
  CConnTracker& operator=(const CConnTracker&) = delete;
  // Resets every connection still waiting for its close, at once.
  ~CConnTracker();

  // Hands an accepted connection to a connection thread. False, with the
  // connection left to the caller, when the limit is reached or no thread
  // could serve it.
  bool Serve(std::unique_ptr<CClientConn>& pConn);

  // Takes a served connection and resets it when the pause is up. If the
  // closer cannot run, or the tracker is shutting down, the connection is
  // reset at once.
  void CloseLater(std::unique_ptr<CClientConn> pConn);

  // No more connections: idle connection threads end, connections waiting
  // for their close are reset now. Waits at most nTimeoutMs for the
  // connections being served; true when none is left.
  bool Shutdown(unsigned nTimeoutMs);

  // Connections being served now (queued for a thread included), connection
  // threads alive, and served connections waiting for their close.
  unsigned Serving() const;
  unsigned Threads() const;
  size_t Waiting() const;
  unsigned MaxServed() const { return m_nMaxServed; }

 private:
  using Clock = std::chrono::steady_clock;
  struct PendingClose {
    Clock::time_point tDue;
    std::unique_ptr<CClientConn> pConn;
  };

  static void WorkerLoop(std::shared_ptr<CConnTracker> pSelf);
  void CloserLoop();
  void ResetWaiting();

  const unsigned m_nMaxServed;
  const std::chrono::milliseconds m_nCloseDelay;
  const unsigned m_nMaxClosing;

  mutable std::mutex m_mutex;
  std::condition_variable m_cvWork;    // a connection to serve, or the end
  std::condition_variable m_cvCloser;  // a new pending close, or the end
  std::condition_variable m_cvDone;    // a connection was served, or a thread ended
  std::deque<std::unique_ptr<CClientConn>> m_queReady;
  unsigned m_nServing = 0;
  unsigned m_nThreads = 0;
  unsigned m_nIdle = 0;
  std::deque<PendingClose> m_queClose;  // due times in ascending order
  bool m_bEnding = false;
  std::thread m_thCloser;
};

// Serves one connection whose request is complete, on a connection thread:
// routing, output, then the connection goes to the tracker's closer (or is
// reset at once when it failed).
void threadFun(std::unique_ptr<CClientConn> pConn, CConnTracker& tracker);
