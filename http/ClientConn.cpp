#include "http/ClientConn.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "base/logging/LogText.h"
#include "base/logging/ProcessLog.h"
#include "base/system/Clock.h"
#include "base/system/DebugOutput.h"

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

// A response as it may be logged: the header block and the body's frame as
// they are, the members (names and values, which come from the request and
// the operations) with their control bytes escaped. pText holds nLen bytes of
// the response; bWhole when that is all of it.
std::string ResponseLogText(const char* pText, size_t nLen, bool bWhole) {
  const std::string strText(pText, nLen);
  const size_t nOpen = strText.find('{');
  if (nOpen == std::string::npos) return EscapeControlBytes(strText);
  static const char kBodyEnd[] = "}\r\n\r\n";
  size_t nClose = nLen;
  if (bWhole && nLen >= nOpen + sizeof(kBodyEnd) &&
      strText.compare(nLen - (sizeof(kBodyEnd) - 1), std::string::npos, kBodyEnd) == 0) {
    nClose = nLen - (sizeof(kBodyEnd) - 1);
  }
  return strText.substr(0, nOpen + 1) +
         EscapeControlBytes(strText.substr(nOpen + 1, nClose - nOpen - 1)) +
         strText.substr(nClose);
}

}  // namespace

CClientConn::CClientConn(const CTcpSocket& accepted, RequestHandler pfnHandler)
    : CTcpSocket(accepted.m_hSocket),
      m_nAcceptTick(GetTickCountMs()),
      m_nLastRecvTick(m_nAcceptTick),
      m_pfnHandler(pfnHandler) {
  m_nClientNo = static_cast<int>(m_hSocket);
}

CClientConn::~CClientConn() {
  if (IsValidSocket()) SetNoLinger();
  CloseSocket();
}

emRequestState CClientConn::ReadRequest(char* pScratch, uint32_t nScratch) {
  for (;;) {
    int nGot = -1;
    if (!m_pRecvBuf) {
      // Nothing kept yet: no buffer until bytes are really there.
      if (pScratch == nullptr || nScratch == 0) return emRequestFailed;
      nGot = IsValidSocket() ? Receive(pScratch, nScratch, 0) : -1;
      if (nGot > 0) {
        const uint32_t nFirst =
            static_cast<uint32_t>(nGot) > kFirstRecvBufSize ? static_cast<uint32_t>(nGot)
                                                            : kFirstRecvBufSize;
        if (!ReserveRecvBuf(nFirst)) return emRequestFailed;
        AppendRecv(pScratch, static_cast<uint32_t>(nGot));
      }
    } else {
      // ParseRequest grows the buffer whenever it wants more than it holds;
      // a full buffer here means the request is bigger than the agent takes.
      if (m_nRecvLen >= m_nRecvBufSize) return emRequestFailed;
      nGot = IsValidSocket()
                 ? Receive(m_pRecvBuf.get() + m_nRecvLen, m_nRecvBufSize - m_nRecvLen, 0)
                 : -1;
      if (nGot > 0) m_nRecvLen += static_cast<uint32_t>(nGot);
    }
    if (nGot < 0) return HasSocketErr() ? emRequestFailed : emRequestWaiting;
    if (nGot == 0) return EndIncomplete();  // the client closed its side

    m_nReceived += static_cast<uint32_t>(nGot);
    m_nLastRecvTick = GetTickCountMs();
    const int nFramed = ParseRequest(m_request);
    if (nFramed < 0) return emRequestFailed;
    if (nFramed > 0) {
      // The decoded map is all the request needs from now on.
      m_pRecvBuf.reset();
      m_nRecvBufSize = 0;
      m_nRecvLen = 0;
      return m_nReceived < kMinRequestBytes ? emRequestFailed : emRequestComplete;
    }
  }
}

emRequestState CClientConn::EndIncomplete() const {
  return m_nReceived < kMinRequestBytes ? emRequestFailed : emRequestEnded;
}

bool CClientConn::ProcessRequest(const RequestParams& request) {
  RequestParams result;
  if (m_pfnHandler == nullptr || !m_pfnHandler(request, result)) return false;

  const bool bBuilt = BuildResponse(result);
  if (!bBuilt) {
    WriteProcessLog(1, 0, "Send Client %d Response:\n%s\n", m_nClientNo,
                    "(none: no memory for the response)");
  } else if (g_ProcessLog.GetLogLevel() >= kTraceLevel) {
    // Whole below kLogWholeBelow bytes, else cut. As "%s" printed it, the
    // text ends at a 0 byte in a value.
    const bool bWhole = m_nSendLen < kLogWholeBelow;
    const char* pText = m_pSendBuf.get();
    const size_t nLogged = static_cast<size_t>(
        std::find(pText, pText + (bWhole ? m_nSendLen : kLogCutLen), '\0') - pText);
    WriteProcessLog(1, kTraceLevel, "Send Client %d Response:\n%s\n", m_nClientNo,
                    ResponseLogText(m_pSendBuf.get(), nLogged, bWhole && nLogged == m_nSendLen).c_str());
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
