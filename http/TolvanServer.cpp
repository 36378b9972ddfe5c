#include "http/TolvanServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/logging/ProcessLog.h"
#include "base/sockets/SocketException.h"
#include "base/sockets/TcpServerSocket.h"
#include "base/system/DebugOutput.h"
#include "http/ClientConn.h"
#include "http/ConnTracker.h"
#include "base/system/Clock.h"
#include "base/system/OpenFileLimit.h"
#include "base/system/ProcessErrorMode.h"
#include "http/ListenAddress.h"

CTolvanServer::CTolvanServer(const CServerSettings& settings)
    : CBaseThread(0, 0, 0, PThread_Scope_System, PThread_Joinable),
      m_pTracker(std::make_shared<CConnTracker>()),
      m_originPolicy(settings.m_strAllowedOrigins) {
  CBaseSocket::InitWinSock2();
  m_strIP = settings.m_strIP;
  m_nPort = settings.m_nPort;
  m_nDebugLevel = settings.m_nDebugLevel;
  m_nState = ServerState::Idle;
}

CTolvanServer::~CTolvanServer() {
  Stop();
  // Connections still being served hold the tracker; they get what is left
  // of the stop time to finish before the process goes on without this
  // object.
  m_pTracker->Shutdown(StopTimeLeft());
  m_pTracker.reset();
  CBaseSocket::CleanupWinSock2();
}

void CTolvanServer::SetServeLimits(unsigned nMaxServed, unsigned nCloseDelayMs,
                                   unsigned nMaxClosing) {
  m_pTracker = std::make_shared<CConnTracker>(nMaxServed, nCloseDelayMs, nMaxClosing);
}

unsigned CTolvanServer::ServingCount() const { return m_pTracker->Serving(); }
size_t CTolvanServer::ClosingCount() const { return m_pTracker->Waiting(); }
unsigned CTolvanServer::ThreadCount() const { return m_pTracker->Threads(); }

unsigned CTolvanServer::StopTimeLeft() const {
  if (m_nStopTick == 0) return m_nStopWaitMs;
  const uint64_t nSpent = GetTickCountMs() - m_nStopTick;
  return nSpent >= m_nStopWaitMs ? 0 : static_cast<unsigned>(m_nStopWaitMs - nSpent);
}

bool CTolvanServer::Start() {
  SuppressCrashDialog();
  if (m_pfnWatchdog) m_pfnWatchdog();
  WriteProcessLog(0, 1, "Tolvan server start on %d with log level %d ...\n", m_nPort,
                  m_nDebugLevel);
  // Every waiting connection holds a socket: make all the system allows
  // available, and keep the waiting ones within it.
  const long nFiles = RaiseOpenFileLimit();
  if (nFiles > 0) {
    WriteProcessLog(0, 1, "Open file limit %ld\n", nFiles);
    const long nRoom = nFiles > 2 * kReservedFiles ? (nFiles - kReservedFiles) / 2 : kReservedFiles / 2;
    if (static_cast<unsigned long>(nRoom) < m_nMaxPending) {
      m_nMaxPending = static_cast<size_t>(nRoom);
    }
  }
  m_nStopTick = 0;
  {
    std::lock_guard<std::mutex> lock(m_mutexListen);
    m_bListenDecided = false;
  }
  m_nState = ServerState::Running;
  if (CBaseThread::Start(ServiceThreadProc, this, 0, 0, 0, PThread_Scope_System,
                         PThread_Joinable)) {
    return true;
  }
  m_nState = ServerState::Idle;
  return false;
}

bool CTolvanServer::Stop() {
  if (m_nState == ServerState::Running) {
    WriteProcessLog(0, 1, "Tolvan server stopping...\n");
    m_nState = ServerState::Stopping;
    WakeStateWaiters();
  }
  if (m_nState == ServerState::Idle) return true;
  if (m_nStopTick == 0) m_nStopTick = GetTickCountMs();
  Join(StopTimeLeft());
  {
    // The key watch reads this object: it is woken above and ends at once
    // unless a pass is under way (a token look ends within its own bound),
    // so it gets what is left of the stop, and never less than that bound.
    const unsigned nWatchWaitMs = std::max(StopTimeLeft(), kKeyWatchStopFloorMs);
    std::unique_lock<std::mutex> lock(m_mutexListen);
    if (!m_cvListen.wait_for(lock, std::chrono::milliseconds(nWatchWaitMs),
                             [this] { return m_nKeyWatchRunning == 0; })) {
      WriteProcessLog(0, 0, "Key watch still busy after %u ms\n", nWatchWaitMs);
    }
  }
  m_nState = ServerState::Idle;
  WriteProcessLog(0, 1, "Tolvan server stopped.\n");
  return true;
}

bool CTolvanServer::WaitListening(unsigned nTimeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutexListen);
  m_cvListen.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                      [this] { return m_bListenDecided; });
  return m_nListenPort.load() != 0;
}

void CTolvanServer::WakeStateWaiters() {
  // Taking the mutex after the state was written means that a waiter either
  // sees the new state or is already waiting when the notice comes.
  { std::lock_guard<std::mutex> lock(m_mutexListen); }
  m_cvListen.notify_all();
}

bool CTolvanServer::WaitWhileRunning(unsigned nMs) {
  std::unique_lock<std::mutex> lock(m_mutexListen);
  m_cvListen.wait_for(lock, std::chrono::milliseconds(nMs),
                      [this] { return m_nState.load() != ServerState::Running; });
  return m_nState.load() == ServerState::Running;
}

unsigned CTolvanServer::KeyWatchCount() const {
  std::lock_guard<std::mutex> lock(m_mutexListen);
  return m_nKeyWatchRunning;
}

void CTolvanServer::StartKeyWatch() {
  if (!m_pfnKeyWatch) return;
  {
    std::lock_guard<std::mutex> lock(m_mutexListen);
    ++m_nKeyWatchRunning;
  }
  KeyWatchRoutine pfnRoutine = m_pfnKeyWatch;
  try {
    std::thread([this, pfnRoutine] {
      pfnRoutine(this);
      // Notified under the lock: once Stop has seen the count drop, this
      // thread touches the object no more.
      std::lock_guard<std::mutex> lock(m_mutexListen);
      --m_nKeyWatchRunning;
      m_cvListen.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    {
      std::lock_guard<std::mutex> lock(m_mutexListen);
      --m_nKeyWatchRunning;
    }
    WriteProcessLog(0, 0, "Key watch thread could not be started\n");
  }
}

void CTolvanServer::SetListening(uint16_t nPort, bool bListening) {
  m_nListenPort = bListening ? nPort : 0;
  {
    std::lock_guard<std::mutex> lock(m_mutexListen);
    m_bListenDecided = true;
  }
  m_cvListen.notify_all();
}

namespace {

// Resets an accepted connection that will not be served.
void ResetAccepted(CTcpSocket& accepted) {
  accepted.SetNoLinger();
  accepted.CloseSocket();
}

}  // namespace

void CTolvanServer::AcceptAll(CTcpServerSocket& listener, CPendingConns& pending) {
  for (;;) {
    CTcpSocket accepted = listener.Accept();
    if (!accepted.IsValidSocket()) {
      if (CTcpServerSocket::HasAcceptError()) {
        // Out of descriptors or the like. The connection that has sent
        // nothing for longest makes room; with none to drop, pause instead
        // of spinning on a socket that stays readable.
        std::unique_ptr<CClientConn> pDropped = pending.DropSilent();
        if (pDropped) {
          WriteProcessLog(1, 1, "Client %d dropped: no socket left, it sent nothing for longest\n",
                          pDropped->m_nClientNo);
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptWaitMs));
        }
      }
      return;
    }
    if (DebugOutputEnabled()) {
      char szTrace[32];
      std::snprintf(szTrace, sizeof(szTrace), "s:%d", static_cast<int>(accepted.m_hSocket));
      DebugOutput(szTrace);
      DebugOutput("accept new request");
    }
    const int nClient = static_cast<int>(accepted.m_hSocket);
    std::unique_ptr<CClientConn> pConn(new (std::nothrow) CClientConn(accepted, m_pfnHandler));
    if (!pConn) {
      WriteProcessLog(1, 0, "Client %d refused: no memory for the connection\n", nClient);
      ResetAccepted(accepted);
      continue;
    }
    std::unique_ptr<CClientConn> pDropped = pending.Add(std::move(pConn));
    if (pDropped) {
      WriteProcessLog(1, 1,
                      "Client %d dropped: %u connections wait for their requests, it sent "
                      "nothing for longest\n",
                      pDropped->m_nClientNo, static_cast<unsigned>(pending.Max()));
    }
  }
}

void CTolvanServer::Finish(CPendingConns::Outcome& outcome) {
  const int nClient = outcome.pConn->m_nClientNo;
  switch (outcome.nState) {
    case emRequestComplete: {
      std::string strWhy;
      if (!m_originPolicy.Allows(*outcome.pConn, strWhy)) {
        WriteProcessLog(1, 0, "Client %d refused: %s\n", nClient, strWhy.c_str());
      } else if (!m_pTracker->Serve(outcome.pConn)) {
        if (m_pTracker->Serving() >= m_pTracker->MaxServed()) {
          WriteProcessLog(1, 0, "Client %d refused: %u connections are being served, reset it\n",
                          nClient, m_pTracker->MaxServed());
        } else {
          WriteProcessLog(1, 0, "Client %d refused: no thread to serve it\n", nClient);
        }
      }
      break;
    }
    case emRequestEnded:
      // Never completed: no response, the usual pause, then the reset.
      DebugOutput("threadFun end");
      m_pTracker->CloseLater(std::move(outcome.pConn));
      break;
    default:
      WriteProcessLog(1, 1, "Client %d HandleInput fail, delete it...\n", nClient);
      break;
  }
  outcome.pConn.reset();  // a connection left here is reset at once
}

bool CTolvanServer::ListenLoop() {
  CTcpServerSocket listener;
  try {
    listener.CloseSocket();
    bool bListening = listener.CreateSocket(false) && listener.SetBlockMode(false);

    // Bound to a loopback address only, never to every interface.
    std::string strWhy;
    const std::string strAddress = LoopbackListenAddress(m_strIP, strWhy);
    if (!strWhy.empty()) WriteProcessLog(0, 0, "%s\n", strWhy.c_str());
    uint16_t nPort = m_nPort;
    if (bListening) {
      bListening = false;
      for (int i = 0; i < kBindAttempts; ++i) {
        nPort = static_cast<uint16_t>(m_nPort + i);
        if (listener.Bind(nPort, strAddress.c_str())) {
          bListening = true;
          break;
        }
      }
    }
    if (bListening) bListening = listener.Listen(kListenBacklog);
    if (!bListening) {
      WriteProcessLog(0, 0, "Service listen on port %d fail, exit now...\n", nPort);
      listener.CloseSocket();
      m_nState = ServerState::Exited;
      SetListening(0, false);
      return false;
    }
    std::string strBound;
    unsigned short nBound = nPort;
    listener.GetLocalPeerInfo(strBound, nBound);  // the real port when 0 was asked
    WriteProcessLog(0, 1, "Service is listening on port %d \n", nBound);
    SetListening(nBound, true);

    CPendingConns pending(m_nMaxPending);
    std::vector<CPendingConns::Outcome> vecDone;
    while (m_nState == ServerState::Running) {
      // One wait over the listening socket and every connection whose
      // request is on its way; then whatever came is read, and new
      // connections are taken.
      const bool bAcceptable = pending.Wait(listener.m_hSocket, kAcceptWaitMs);
      vecDone.clear();
      pending.Collect(vecDone);
      for (CPendingConns::Outcome& outcome : vecDone) Finish(outcome);
      if (bAcceptable) AcceptAll(listener, pending);
      m_nPendingCount = pending.Size();
    }
    m_nPendingCount = 0;
  } catch (const CSocketException& e) {
    WriteProcessLog(0, 0, "Exception: %s\n", e.What().c_str());
  }
  listener.CloseSocket();
  m_nState = ServerState::Exited;
  SetListening(0, false);
  WriteProcessLog(0, 1, "Service thread exit.\n");
  return true;
}

unsigned long ServiceThreadProc(void* pParam) {
  CTolvanServer* pServer = static_cast<CTolvanServer*>(pParam);
  // Start has set Running already, so that a Stop right after Start is not
  // lost; a Stop that came first is kept.
  ServerState nIdle = ServerState::Idle;
  pServer->m_nState.compare_exchange_strong(nIdle, ServerState::Running);
  pServer->StartKeyWatch();
  return pServer->ListenLoop() ? 0 : static_cast<unsigned long>(-1);
}
