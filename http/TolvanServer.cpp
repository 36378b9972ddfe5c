#include "http/TolvanServer.h"

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
#include "base/system/ProcessErrorMode.h"

CTolvanServer::CTolvanServer(const CServerSettings& settings)
    : CBaseThread(0, 0, 0, PThread_Scope_System, PThread_Joinable),
      m_pTracker(std::make_shared<CConnTracker>()) {
  CBaseSocket::InitWinSock2();
  m_strIP = settings.m_strIP;
  m_nPort = settings.m_nPort;
  m_nDebugLevel = settings.m_nDebugLevel;
  m_nState = ServerState::Idle;
}

CTolvanServer::~CTolvanServer() {
  Stop();
  // Connections still being served hold the tracker; give them a bounded
  // time to finish before the process goes on without this object.
  m_pTracker->Shutdown(kDrainWaitMs);
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

bool CTolvanServer::Start() {
  SuppressCrashDialog();
  if (m_pfnWatchdog) m_pfnWatchdog();
  WriteProcessLog(0, 1, "Tolvan server start on %d with log level %d ...\n", m_nPort,
                  m_nDebugLevel);
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
  }
  if (m_nState == ServerState::Idle) return true;
  Join(kStopWaitMs);
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

bool CTolvanServer::ListenLoop() {
  CTcpServerSocket listener;
  try {
    listener.CloseSocket();
    bool bListening = listener.CreateSocket(false) && listener.SetBlockMode(false);

    // Bound to the configured address only, never to every interface.
    uint16_t nPort = m_nPort;
    if (bListening) {
      bListening = false;
      for (int i = 0; i < kBindAttempts; ++i) {
        nPort = static_cast<uint16_t>(m_nPort + i);
        if (listener.Bind(nPort, m_strIP.c_str())) {
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

    while (m_nState == ServerState::Running) {
      // Every connection that is waiting, then one readiness wait.
      for (;;) {
        CTcpSocket accepted = listener.Accept();
        if (!accepted.IsValidSocket()) {
          if (CTcpServerSocket::HasAcceptError()) {
            // Out of descriptors or the like: the socket stays readable, so
            // pause instead of spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptWaitMs));
          }
          break;
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
        if (!m_pTracker->Serve(pConn)) {
          if (m_pTracker->Serving() >= m_pTracker->MaxServed()) {
            WriteProcessLog(1, 0,
                            "Client %d refused: %u connections are being served, reset it\n",
                            nClient, m_pTracker->MaxServed());
          } else {
            WriteProcessLog(1, 0, "Client %d refused: no thread to serve it\n", nClient);
          }
          pConn.reset();  // reset at once
        }
      }
      listener.CanReceive(0, static_cast<long>(kAcceptWaitMs) * 1000);
    }
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
  if (pServer->m_pfnKeyWatch) {
    try {
      std::thread(pServer->m_pfnKeyWatch, pParam).detach();
    } catch (const std::system_error&) {
      WriteProcessLog(0, 0, "Key watch thread could not be started\n");
    }
  }
  return pServer->ListenLoop() ? 0 : static_cast<unsigned long>(-1);
}
