#include "base/sockets/TcpSocket.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

#include "base/search/StringSearch.h"

namespace {

// Stop and run flags belong to the caller and may be cleared by another
// thread while a loop runs: read them with an atomic load.
bool FlagReadsFalse(const bool* pbFlag) {
  return pbFlag != nullptr && !__atomic_load_n(pbFlag, __ATOMIC_ACQUIRE);
}

bool AnyStopped(const std::vector<const bool*>& vecStop) {
  for (const bool* pbFlag : vecStop)
    if (FlagReadsFalse(pbFlag)) return true;
  return false;
}

std::vector<const bool*> OneFlag(const bool* pbStop) {
  return std::vector<const bool*>(1, pbStop);
}

// Idle 50 ms passes allowed for a time-out: a remainder counts as one more.
int IdlePasses(int nTimeoutMs) {
  if (nTimeoutMs <= 0) return 0;
  return nTimeoutMs / 50 + (nTimeoutMs % 50 != 0 ? 1 : 0);
}

const long WAIT_UNTIMED_USEC = 10000;
const long WAIT_TIMED_USEC = 50000;
const long WAIT_CONNECT_USEC = 200000;

}  // namespace

CTcpSocket::CTcpSocket(bool bCreate, bool bReuse) : CBaseSocket() {
  if (bCreate) CreateSocket(bReuse);
}

CTcpSocket::CTcpSocket(const SocketHandle& hSocket) : CBaseSocket(hSocket) {}

CTcpSocket::CTcpSocket(const CTcpSocket& other) : CBaseSocket(other) {}

CTcpSocket& CTcpSocket::operator=(const SocketHandle& hSocket) {
  m_hSocket = hSocket;
  return *this;
}

CTcpSocket& CTcpSocket::operator=(const CTcpSocket& other) {
  CBaseSocket::operator=(other);
  return *this;
}

CTcpSocket::~CTcpSocket() = default;

bool CTcpSocket::CreateSocket(bool bReuse) {
  CloseSocket();
  const SocketHandle hSocket = SockOpenTcp();
  if (hSocket == INVALID_SOCKET_HANDLE) return false;
  m_hSocket = hSocket;
  if (bReuse && SockSetReuseAddr(m_hSocket, true) != 0) {
    CloseSocket();
    return false;
  }
  return true;
}

void CTcpSocket::CloseSocket() {
  if (!IsValidSocket()) return;
  SockClose(m_hSocket);
  m_hSocket = INVALID_SOCKET_HANDLE;
}

bool CTcpSocket::Connect(const char* szHost, unsigned short nPort) {
  if (!IsValidSocket()) return false;
  return SockConnect(m_hSocket, SockMakeAddr(SockInetAddr(szHost), nPort)) == 0;
}

bool CTcpSocket::Connect(const char* szHost, unsigned short nPort, int nTimeoutSec,
                         bool bRestoreBlocking, const bool* pbRun) {
  if (!IsValidSocket()) return false;
  std::uint32_t nAddr = SockInetAddr(szHost);
  if (nAddr == SOCK_INADDR_NONE) {
    std::vector<std::uint32_t> vecAddrs;
    if (!SockResolveIPv4(szHost, vecAddrs) || vecAddrs.empty()) return false;
    nAddr = vecAddrs.front();
  }
  if (!SetBlockMode(false)) return false;
  if (SockConnect(m_hSocket, SockMakeAddr(nAddr, nPort)) != 0) {
    if (SockLastError() != SOCK_ERR_WOULD_BLOCK) return false;
    if (pbRun != nullptr) {
      const long long nPolls = static_cast<long long>(nTimeoutSec) * 5;
      if (nPolls < 1) return false;
      for (long long i = 1;; ++i) {
        const int nReady = CanSend(0, WAIT_CONNECT_USEC, true);
        if (nReady > 0) break;
        if (nReady < 0) return false;
        if (FlagReadsFalse(pbRun) || i >= nPolls) return false;
      }
    } else if (CanSend(nTimeoutSec, 0, true) < 1) {
      return false;
    }
  }
  if (bRestoreBlocking && !SetBlockMode(true)) return false;
  return true;
}

int CTcpSocket::Send(const char* pBuf, unsigned nLen, unsigned nFlags) {
  if (!IsValidSocket()) return -1;
  return SockSend(m_hSocket, pBuf, nLen, nFlags);
}

int CTcpSocket::Receive(char* pBuf, unsigned nLen, unsigned nFlags) {
  if (!IsValidSocket()) return -1;
  return SockRecv(m_hSocket, pBuf, nLen, nFlags);
}

int CTcpSocket::Send(const std::string& str, unsigned nFlags) {
  const unsigned nLen = str.size() < UINT_MAX ? static_cast<unsigned>(str.size()) + 1 : UINT_MAX;
  return Send(str.c_str(), nLen, nFlags);
}

int CTcpSocket::ReceiveWithTimeout(char* pBuf, unsigned nLen, unsigned nSec, unsigned nUsec,
                                   unsigned nFlags) {
  // long is 32 bits on Windows: keep the unsigned values within it.
  const auto toLong = [](unsigned nValue) {
    return static_cast<long>(std::min<unsigned long long>(nValue, LONG_MAX));
  };
  const long nWaitSec = toLong(nSec);
  const long nWaitUsec = toLong(nUsec);
  const int nReady = CanReceive(nWaitSec, nWaitUsec);
  if (nReady < 1) return nReady;
  return Receive(pBuf, nLen, nFlags);
}

unsigned CTcpSocket::SendBufVec(SocketBuf* pBufs, int nCount) {
  if (!IsValidSocket()) return 0;
  return SockSendVec(m_hSocket, pBufs, nCount);
}

unsigned CTcpSocket::ReceiveBufVec(SocketBuf* pBufs, int nCount) {
  if (!IsValidSocket()) return 0;
  return SockRecvVec(m_hSocket, pBufs, nCount);
}

bool CTcpSocket::GetRemoteInfo(std::string& strAddress, unsigned short& nPort) const {
  if (!IsValidSocket()) return false;
  SockAddrIn4 addr;
  if (SockPeerName(m_hSocket, addr) != 0) return false;
  strAddress = SockFormatIPv4(addr.nAddr);
  nPort = SockNetToHost16(addr.nPort);
  return true;
}

void CTcpSocket::SetNoLinger() {
  if (IsValidSocket()) SockSetLinger(m_hSocket, true, 0);
}

bool CTcpSocket::HasSocketErr() {
  const int nError = SockLastError();
  return nError != SOCK_ERR_INTERRUPTED && nError != SOCK_ERR_WOULD_BLOCK &&
         nError != SOCK_ERR_TRY_AGAIN;
}

bool CTcpSocket::ExactLoop(bool bSend, char* pBuf, unsigned nLen, bool bTimed, int nTimeoutMs,
                           unsigned& nDone, const std::vector<const bool*>& vecStop) {
  nDone = 0;
  if (!IsValidSocket()) return false;
  if (nLen == 0) return true;
  if (pBuf == nullptr) return false;
  const int nMaxIdle = IdlePasses(nTimeoutMs) + 1;
  int nIdle = 0;
  for (;;) {
    if (AnyStopped(vecStop)) return nDone == nLen;
    if (!IsValidSocket()) return false;
    const int nReady =
        SockWait(m_hSocket, bSend, 0, bTimed ? WAIT_TIMED_USEC : WAIT_UNTIMED_USEC);
    if (nReady < 0) return false;
    if (nReady == 0) {
      if (bTimed && ++nIdle >= nMaxIdle) return nDone == nLen;
      continue;
    }
    const int nMoved = bSend ? SockSendNoWait(m_hSocket, pBuf + nDone, nLen - nDone)
                             : SockRecvNoWait(m_hSocket, pBuf + nDone, nLen - nDone);
    if (nMoved > 0) {
      nDone += static_cast<unsigned>(nMoved);
      if (nDone >= nLen) return true;
    } else if (nMoved == 0) {
      if (!bSend) return false;  // the peer closed the connection
    } else if (HasSocketErr()) {
      return false;
    }
  }
}

bool CTcpSocket::Send_n(const char* pBuf, unsigned nLen, unsigned& nDone, const bool* pbStop) {
  return ExactLoop(true, const_cast<char*>(pBuf), nLen, false, 0, nDone, OneFlag(pbStop));
}

bool CTcpSocket::Send_n_timeout(const char* pBuf, unsigned nLen, int nTimeoutMs, unsigned& nDone,
                                const bool* pbStop) {
  return ExactLoop(true, const_cast<char*>(pBuf), nLen, true, nTimeoutMs, nDone, OneFlag(pbStop));
}

bool CTcpSocket::Receive_n(char* pBuf, unsigned nLen, unsigned& nDone, const bool* pbStop) {
  return ExactLoop(false, pBuf, nLen, false, 0, nDone, OneFlag(pbStop));
}

bool CTcpSocket::Receive_n_timeout(char* pBuf, unsigned nLen, int nTimeoutMs, unsigned& nDone,
                                   const bool* pbStop) {
  return ExactLoop(false, pBuf, nLen, true, nTimeoutMs, nDone, OneFlag(pbStop));
}

bool CTcpSocket::Send_n_ex(const char* pBuf, unsigned nLen, unsigned& nDone,
                           std::vector<const bool*> vecStop) {
  return ExactLoop(true, const_cast<char*>(pBuf), nLen, false, 0, nDone, vecStop);
}

bool CTcpSocket::Send_n_timeout_ex(const char* pBuf, unsigned nLen, int nTimeoutMs,
                                   unsigned& nDone, std::vector<const bool*> vecStop) {
  return ExactLoop(true, const_cast<char*>(pBuf), nLen, true, nTimeoutMs, nDone, vecStop);
}

bool CTcpSocket::Receive_n_ex(char* pBuf, unsigned nLen, unsigned& nDone,
                              std::vector<const bool*> vecStop) {
  return ExactLoop(false, pBuf, nLen, false, 0, nDone, vecStop);
}

bool CTcpSocket::Receive_n_timeout_ex(char* pBuf, unsigned nLen, int nTimeoutMs, unsigned& nDone,
                                      std::vector<const bool*> vecStop) {
  return ExactLoop(false, pBuf, nLen, true, nTimeoutMs, nDone, vecStop);
}

bool CTcpSocket::AutoReceiveMsg(char* pBuf, unsigned nBufLen, unsigned& nMsgLen,
                                bool bLengthIncludesHeader, bool bNetworkOrder,
                                const bool* pbStop) {
  const unsigned HEADER_LEN = 4;
  nMsgLen = 0;
  // The header alone must fit.
  if (pBuf == nullptr || nBufLen < HEADER_LEN) return false;
  unsigned nGot = 0;
  if (!Receive_n(pBuf, HEADER_LEN, nGot, pbStop)) {
    nMsgLen = nGot;
    return false;
  }
  nMsgLen = HEADER_LEN;
  std::uint32_t nLength;
  std::memcpy(&nLength, pBuf, sizeof nLength);
  if (bNetworkOrder) nLength = SockNetToHost32(nLength);

  unsigned nBody;
  if (bLengthIncludesHeader) {
    if (nLength < HEADER_LEN || nLength > nBufLen) return false;
    nBody = nLength - HEADER_LEN;
  } else {
    // Compared in 64 bits: a length near 4 GiB must not wrap past the test.
    if (static_cast<unsigned long long>(nLength) + HEADER_LEN > nBufLen) return false;
    nBody = nLength;
  }
  unsigned nBodyGot = 0;
  const bool bOk = Receive_n(pBuf + HEADER_LEN, nBody, nBodyGot, pbStop);
  nMsgLen = HEADER_LEN + nBodyGot;
  return bOk;
}

bool CTcpSocket::ReadForTerminal(unsigned char* pBuf, unsigned nBufLen, int nTimeoutMs,
                                 const unsigned char* pTerminator, unsigned nTermLen, bool bText,
                                 int& nReceived, unsigned char* pSearchFrom,
                                 unsigned char*& pFound) {
  nReceived = 0;
  pFound = nullptr;
  if (pBuf == nullptr || pTerminator == nullptr) return false;
  if (nBufLen > INT_MAX) nBufLen = INT_MAX;  // the count is an int
  if (pSearchFrom == nullptr) pSearchFrom = pBuf;
  const std::less<const unsigned char*> before;

  // Finds the terminator in [pFrom, pEnd); text mode searches the NUL-ended
  // string from pFrom, as the data is then text.
  auto search = [&](unsigned char* pFrom, unsigned char* pEnd) -> unsigned char* {
    if (bText) {
      *pEnd = '\0';
      char* pHit = std::strstr(reinterpret_cast<char*>(pFrom),
                               reinterpret_cast<const char*>(pTerminator));
      return reinterpret_cast<unsigned char*>(pHit);
    }
    const std::size_t nSpan = static_cast<std::size_t>(pEnd - pFrom);
    const int nAt = SundaySearchMemory(pFrom, nSpan > UINT_MAX ? UINT_MAX : unsigned(nSpan),
                                       pTerminator, nTermLen);
    return nAt < 0 ? nullptr : pFrom + nAt;
  };

  // Data held before pBuf is searched first.
  if (before(pSearchFrom, pBuf)) {
    if (bText || static_cast<std::size_t>(pBuf - pSearchFrom) >= nTermLen) {
      unsigned char* pHit = search(pSearchFrom, pBuf);
      if (pHit != nullptr) {
        pFound = pHit;
        return true;
      }
    }
  }
  if (before(pBuf, pSearchFrom) || nBufLen == 0) return false;

  const int nMaxIdle = IdlePasses(nTimeoutMs);
  if (nMaxIdle <= 0) return false;
  int nIdle = 0;
  while (nIdle < nMaxIdle) {
    if (!IsValidSocket()) return false;
    const int nReady = SockWait(m_hSocket, false, 0, WAIT_TIMED_USEC);
    if (nReady < 0) return false;
    if (nReady == 0) {
      ++nIdle;
      continue;
    }
    const int nGot = SockRecvNoWait(m_hSocket, reinterpret_cast<char*>(pBuf + nReceived),
                                    nBufLen - static_cast<unsigned>(nReceived));
    if (nGot < 0) return false;
    if (nGot == 0) {  // the peer closed: counts as an idle pass
      ++nIdle;
      continue;
    }
    nReceived += nGot;
    unsigned char* pEnd = pBuf + nReceived;
    if (static_cast<std::size_t>(pEnd - pSearchFrom) >= nTermLen) {
      unsigned char* pHit = search(pSearchFrom, pEnd);
      if (pHit != nullptr) {
        pFound = pHit;
        return true;
      }
      // A terminator split across two reads starts at most nTermLen - 1
      // bytes before the end.
      pSearchFrom = pEnd - nTermLen + 1;
    }
    if (static_cast<unsigned>(nReceived) >= nBufLen) return false;
  }
  return false;
}

bool CTcpSocket::ReadForTerminalStr(char* pBuf, unsigned nBufLen, int nTimeoutMs,
                                    const char* szTerminator, int& nReceived, char* pSearchFrom,
                                    char*& pFound) {
  unsigned char* pHit = nullptr;
  const unsigned nTermLen =
      szTerminator != nullptr ? static_cast<unsigned>(std::strlen(szTerminator)) : 0;
  const bool bOk = ReadForTerminal(
      reinterpret_cast<unsigned char*>(pBuf), nBufLen, nTimeoutMs,
      reinterpret_cast<const unsigned char*>(szTerminator), nTermLen, true, nReceived,
      reinterpret_cast<unsigned char*>(pSearchFrom), pHit);
  pFound = reinterpret_cast<char*>(pHit);
  return bOk;
}

bool CTcpSocket::ReadForTerminalBytes(unsigned char* pBuf, unsigned nBufLen, int nTimeoutMs,
                                      const unsigned char* pTerminator, unsigned nTermLen,
                                      int& nReceived, unsigned char* pSearchFrom,
                                      int& nFoundOffset) {
  nFoundOffset = -1;
  unsigned char* pHit = nullptr;
  const bool bOk = ReadForTerminal(pBuf, nBufLen, nTimeoutMs, pTerminator, nTermLen, false,
                                   nReceived, pSearchFrom, pHit);
  if (bOk) nFoundOffset = static_cast<int>(pHit - pBuf);
  return bOk;
}
