#include "http/ConnTracker.h"

#include <system_error>
#include <utility>

#include "base/logging/ProcessLog.h"
#include "base/system/DebugOutput.h"
#include "http/ClientConn.h"

void threadFun(std::unique_ptr<CClientConn> pConn, CConnTracker& tracker) {
  const int nClient = pConn->m_nClientNo;
  bool bServed = true;
  if (!pConn->ProcessRequest(pConn->m_request)) {
    WriteProcessLog(1, 1, "Client %d HandleInput fail, delete it...\n", nClient);
    bServed = false;
  } else if (pConn->m_pSendBuf && pConn->m_nSendLen > pConn->m_nSendPos &&
             !pConn->HandleOutput()) {
    WriteProcessLog(1, 0, "Client %d HandleOutput fail, delete it...\n", nClient);
    bServed = false;
  }
  pConn->m_request.clear();
  DebugOutput("threadFun end");
  if (bServed) {
    tracker.CloseLater(std::move(pConn));
  } else {
    pConn.reset();  // reset at once
  }
}

CConnTracker::CConnTracker(unsigned nMaxServed, unsigned nCloseDelayMs, unsigned nMaxClosing)
    : m_nMaxServed(nMaxServed), m_nCloseDelay(nCloseDelayMs), m_nMaxClosing(nMaxClosing) {}

CConnTracker::~CConnTracker() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bEnding = true;
  }
  m_cvCloser.notify_all();
  // The closer holds no reference, so this never runs on the closer itself.
  if (m_thCloser.joinable()) m_thCloser.join();
  ResetWaiting();
}

void CConnTracker::ResetWaiting() {
  std::deque<PendingClose> queLeft;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    queLeft.swap(m_queClose);
  }
  // queLeft's connections are reset here, outside the lock.
}

bool CConnTracker::Serve(std::unique_ptr<CClientConn>& pConn) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_bEnding || m_nServing >= m_nMaxServed) return false;
  bool bStarted = false;
  if (m_nIdle <= m_queReady.size()) {
    // Every thread is busy: one more (there are never more threads than
    // connections that may be served at once). It counts as idle from now
    // on, not from when it first runs: until then another thread may take
    // the connection queued for it, and the next connection must find it.
    try {
      std::thread(&CConnTracker::WorkerLoop, shared_from_this()).detach();
      ++m_nThreads;
      ++m_nIdle;
      bStarted = true;
    } catch (const std::system_error&) {
      if (m_nThreads == 0) return false;  // nobody would ever serve it
    }
  }
  ++m_nServing;
  m_queReady.push_back(std::move(pConn));
  const bool bWake = !bStarted && m_nIdle > 0;  // a new thread needs no wake-up
  lock.unlock();
  if (bWake) m_cvWork.notify_one();
  return true;
}

void CConnTracker::WorkerLoop(std::shared_ptr<CConnTracker> pSelf) {
  CConnTracker& self = *pSelf;
  std::unique_lock<std::mutex> lock(self.m_mutex);
  // Counted idle by Serve when it was made, and again after each connection.
  for (;;) {
    const bool bWork = self.m_cvWork.wait_for(
        lock, std::chrono::milliseconds(kIdleThreadMs),
        [&self] { return !self.m_queReady.empty() || self.m_bEnding; });
    if (self.m_queReady.empty()) {
      if (self.m_bEnding || !bWork) break;
      continue;
    }
    --self.m_nIdle;
    std::unique_ptr<CClientConn> pConn = std::move(self.m_queReady.front());
    self.m_queReady.pop_front();
    lock.unlock();

    threadFun(std::move(pConn), self);

    lock.lock();
    --self.m_nServing;
    ++self.m_nIdle;
    self.m_cvDone.notify_all();
  }
  --self.m_nIdle;
  --self.m_nThreads;
  self.m_cvDone.notify_all();
  lock.unlock();
  // pSelf goes last: the tracker may end with this thread.
}

void CConnTracker::CloseLater(std::unique_ptr<CClientConn> pConn) {
  if (!pConn) return;
  bool bWake = true;
  std::unique_ptr<CClientConn> pEarly;  // reset outside the lock
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    // A closer that waits for an earlier due time needs no wake-up: it looks
    // at the queue again then.
    bWake = m_queClose.empty() || m_bEnding;
    if (!m_bEnding) {
      if (!m_thCloser.joinable()) {
        try {
          m_thCloser = std::thread(&CConnTracker::CloserLoop, this);
        } catch (const std::system_error&) {
          // No closer: pConn is reset at once below, outside the lock.
        }
      }
      if (m_thCloser.joinable()) {
        if (m_queClose.size() >= m_nMaxClosing && !m_queClose.empty()) {
          pEarly = std::move(m_queClose.front().pConn);
          m_queClose.pop_front();
        }
        // Every pause is as long, so the queue stays in due order.
        m_queClose.push_back(PendingClose{Clock::now() + m_nCloseDelay, std::move(pConn)});
      }
    }
  }
  if (bWake) m_cvCloser.notify_one();
}

void CConnTracker::CloserLoop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_bEnding) {
    if (m_queClose.empty()) {
      m_cvCloser.wait(lock);
      continue;
    }
    const Clock::time_point tDue = m_queClose.front().tDue;
    if (Clock::now() < tDue) {
      m_cvCloser.wait_until(lock, tDue);
      continue;
    }
    std::unique_ptr<CClientConn> pDue = std::move(m_queClose.front().pConn);
    m_queClose.pop_front();
    lock.unlock();
    pDue.reset();  // the abortive close
    lock.lock();
  }
}

bool CConnTracker::Shutdown(unsigned nTimeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_bEnding = true;
  m_cvWork.notify_all();
  m_cvCloser.notify_all();
  const bool bIdle = m_cvDone.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                       [this] { return m_nServing == 0; });
  lock.unlock();
  ResetWaiting();
  return bIdle;
}

unsigned CConnTracker::Serving() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nServing;
}

unsigned CConnTracker::Threads() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_nThreads;
}

size_t CConnTracker::Waiting() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_queClose.size();
}
