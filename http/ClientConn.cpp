#include "http/ClientConn.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "base/logging/ProcessLog.h"
#include "base/system/Clock.h"
#include "base/system/DebugOutput.h"
#include "http/ConnTracker.h"

namespace {

// Responses of this size or more are logged cut to kLogCutLen bytes, and only
// at log level 3 or more.
constexpr uint32_t kLogWholeBelow = 2048;
constexpr uint32_t kLogCutLen = 2047;
constexpr unsigned kTraceLevel = 3;

// Splits milliseconds into the seconds and microseconds of a readiness wait.
void SplitWait(uint64_t nMs, long& nSec, long& nUsec) {
  nSec = static_cast<long>(nMs / 1000);
  nUsec = static_cast<long>((nMs % 1000) * 1000);
}

}  // namespace

CClientConn::CClientConn(const CTcpSocket& accepted, RequestHandler pfnHandler)
    : CTcpSocket(accepted.m_hSocket), m_nAcceptTick(GetTickCountMs()), m_pfnHandler(pfnHandler) {
  m_nClientNo = static_cast<int>(m_hSocket);
}

CClientConn::~CClientConn() {
  if (IsValidSocket()) SetNoLinger();
  CloseSocket();
}

bool CClientConn::HandleInput() {
  if (!m_pRecvBuf && !ReserveRecvBuf(kFirstRecvBufSize)) return false;

  RequestParams request;
  uint64_t nTotal = 0;  // bytes of every receive together
  int nFramed = 0;
  bool bWait = false;  // the request has mostly arrived by now: read first
  for (;;) {
    // ParseRequest grows the buffer whenever it wants more than it holds; a
    // full buffer here means the request is bigger than the agent takes.
    if (m_nRecvLen >= m_nRecvBufSize) return false;

    if (bWait) {
      const uint64_t nElapsed = GetTickCountMs() - m_nAcceptTick;
      if (nElapsed >= kRequestTimeoutMs) break;
      long nSec = 0;
      long nUsec = 0;
      SplitWait(kRequestTimeoutMs - nElapsed, nSec, nUsec);
      const int nReady = CanReceive(nSec, nUsec);
      if (nReady < 0) return false;
      if (nReady == 0) continue;
    }

    const int nGot = IsValidSocket()
                         ? Receive(m_pRecvBuf.get() + m_nRecvLen, m_nRecvBufSize - m_nRecvLen, 0)
                         : -1;
    if (nGot < 0) {
      if (HasSocketErr()) return false;
      bWait = true;  // nothing there yet (or interrupted): wait for it
      continue;
    }
    bWait = true;
    if (nGot == 0) break;  // the client closed its side

    if (DebugOutputEnabled()) {
      DebugOutput(std::string(m_pRecvBuf.get() + m_nRecvLen, static_cast<size_t>(nGot)).c_str());
    }
    m_nRecvLen += static_cast<uint32_t>(nGot);
    nTotal += static_cast<uint32_t>(nGot);

    nFramed = ParseRequest(request);
    if (nFramed != 0) break;
  }

  if (nFramed < 0 || nTotal < kMinRequestBytes) return false;
  if (nFramed == 0) return true;  // never completed: no response
  return ProcessRequest(request);
}

bool CClientConn::ProcessRequest(const RequestParams& request) {
  RequestParams result;
  if (m_pfnHandler == nullptr || !m_pfnHandler(request, result)) return false;

  const bool bBuilt = BuildResponse(result);
  if (!bBuilt) {
    WriteProcessLog(1, 0, "Send Client %d Response:\n%s\n", m_nClientNo,
                    "(none: no memory for the response)");
  } else if (m_nSendLen < kLogWholeBelow) {
    WriteProcessLog(1, kTraceLevel, "Send Client %d Response:\n%s\n", m_nClientNo,
                    m_pSendBuf.get());
  } else if (g_ProcessLog.GetLogLevel() >= kTraceLevel) {
    char szCut[kLogCutLen + 1];
    std::memcpy(szCut, m_pSendBuf.get(), kLogCutLen);
    szCut[kLogCutLen] = 0;
    WriteProcessLog(1, kTraceLevel, "Send Client %d Response:\n%s\n", m_nClientNo, szCut);
  }
  return bBuilt;
}

bool CClientConn::HandleOutput() {
  if (!m_pSendBuf) return true;
  const uint64_t nStart = GetTickCountMs();
  while (m_nSendPos < m_nSendLen) {
    if (!IsValidSocket()) return false;
    const int nSent = Send(m_pSendBuf.get() + m_nSendPos, m_nSendLen - m_nSendPos, 0);
    if (nSent < 0) {
      if (HasSocketErr()) return false;
      // No room now: wait for the client to read, within the send time-out.
      const uint64_t nElapsed = GetTickCountMs() - nStart;
      if (nElapsed >= kSendTimeoutMs) return true;
      long nSec = 0;
      long nUsec = 0;
      SplitWait(kSendTimeoutMs - nElapsed, nSec, nUsec);
      if (CanSend(nSec, nUsec, false) < 0) return false;
      continue;
    }
    if (nSent == 0) return true;
    m_nSendPos += static_cast<uint32_t>(nSent);
  }
  return true;
}

void threadFun(std::unique_ptr<CClientConn> pConn, CConnTracker& tracker) {
  const int nClient = pConn->m_nClientNo;
  bool bServed = true;
  if (!pConn->HandleInput()) {
    WriteProcessLog(1, 1, "Client %d HandleInput fail, delete it...\n", nClient);
    bServed = false;
  } else if (pConn->m_pSendBuf && pConn->m_nSendLen > pConn->m_nSendPos &&
             !pConn->HandleOutput()) {
    WriteProcessLog(1, 0, "Client %d HandleOutput fail, delete it...\n", nClient);
    bServed = false;
  }
  DebugOutput("threadFun end");
  if (bServed) {
    tracker.CloseLater(std::move(pConn));
  } else {
    pConn.reset();  // reset at once
  }
}
