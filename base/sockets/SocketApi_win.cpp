// Windows Sockets 2 behind the socket layer. Errors are Windows Sockets'
// own: SockLastError() is WSAGetLastError().
#include "base/sockets/SocketApi.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>

// After the platform's headers: on Windows, s_addr is one of their macros.
#include "base/sockets/SocketApiCommon.h"

const int SOCK_SOL_SOCKET = SOL_SOCKET;
const int SOCK_SO_REUSEADDR = SO_REUSEADDR;
const int SOCK_SO_RCVBUF = SO_RCVBUF;
const int SOCK_SO_SNDBUF = SO_SNDBUF;
const int SOCK_SO_KEEPALIVE = SO_KEEPALIVE;

static_assert(sizeof(SOCKET) == sizeof(SocketHandle), "SOCKET width");
static_assert(INVALID_SOCKET == INVALID_SOCKET_HANDLE, "INVALID_SOCKET value");

namespace {

SOCKET Sock(SocketHandle hSocket) { return static_cast<SOCKET>(hSocket); }

int ClampLen(unsigned nLen) { return nLen > INT_MAX ? INT_MAX : static_cast<int>(nLen); }

unsigned MoveVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount, bool bSend) {
  if (nCount < 0 || (nCount > 0 && pBufs == nullptr)) {
    WSASetLastError(WSAEINVAL);
    return 0;
  }
  std::unique_ptr<WSABUF[]> pWsa(new WSABUF[nCount > 0 ? nCount : 1]);
  for (int i = 0; i < nCount; ++i) {
    pWsa[i].len = pBufs[i].len;
    pWsa[i].buf = pBufs[i].buf;
  }
  DWORD nMoved = 0;
  DWORD nFlags = 0;
  const int nResult =
      bSend ? WSASend(Sock(hSocket), pWsa.get(), static_cast<DWORD>(nCount), &nMoved, 0,
                      nullptr, nullptr)
            : WSARecv(Sock(hSocket), pWsa.get(), static_cast<DWORD>(nCount), &nMoved, &nFlags,
                      nullptr, nullptr);
  return nResult == 0 ? static_cast<unsigned>(nMoved) : 0u;
}

}  // namespace

bool SockStartup() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  if (data.wVersion != MAKEWORD(2, 2)) {
    WSACleanup();
    return false;
  }
  return true;
}

void SockCleanup() { WSACleanup(); }

int SockLastError() { return WSAGetLastError(); }

void SockSetLastError(int nError) { WSASetLastError(nError); }

SocketHandle SockOpenTcp() {
  return static_cast<SocketHandle>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

int SockClose(SocketHandle hSocket) { return closesocket(Sock(hSocket)); }

int SockBind(SocketHandle hSocket, const SockAddrIn4& addr) {
  const sockaddr_in sa = SockToPlatformAddr<sockaddr_in>(addr);
  return bind(Sock(hSocket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

int SockListen(SocketHandle hSocket, int nBacklog) { return listen(Sock(hSocket), nBacklog); }

SocketHandle SockAccept(SocketHandle hSocket) {
  return static_cast<SocketHandle>(accept(Sock(hSocket), nullptr, nullptr));
}

int SockConnect(SocketHandle hSocket, const SockAddrIn4& addr) {
  const sockaddr_in sa = SockToPlatformAddr<sockaddr_in>(addr);
  return connect(Sock(hSocket), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

int SockShutdown(SocketHandle hSocket, int nHow) { return shutdown(Sock(hSocket), nHow); }

int SockLocalName(SocketHandle hSocket, SockAddrIn4& addr) {
  sockaddr_in sa;
  int nLen = sizeof sa;
  if (getsockname(Sock(hSocket), reinterpret_cast<sockaddr*>(&sa), &nLen) != 0) return -1;
  addr = SockFromPlatformAddr(sa);
  return 0;
}

int SockPeerName(SocketHandle hSocket, SockAddrIn4& addr) {
  sockaddr_in sa;
  int nLen = sizeof sa;
  if (getpeername(Sock(hSocket), reinterpret_cast<sockaddr*>(&sa), &nLen) != 0) return -1;
  addr = SockFromPlatformAddr(sa);
  return 0;
}

int SockSend(SocketHandle hSocket, const char* pBuf, unsigned nLen, unsigned nFlags) {
  return send(Sock(hSocket), pBuf, ClampLen(nLen), static_cast<int>(nFlags));
}

int SockRecv(SocketHandle hSocket, char* pBuf, unsigned nLen, unsigned nFlags) {
  return recv(Sock(hSocket), pBuf, ClampLen(nLen), static_cast<int>(nFlags));
}

int SockSendNoWait(SocketHandle hSocket, const char* pBuf, unsigned nLen) {
  return SockSend(hSocket, pBuf, nLen, 0);
}

int SockRecvNoWait(SocketHandle hSocket, char* pBuf, unsigned nLen) {
  return SockRecv(hSocket, pBuf, nLen, 0);
}

unsigned SockSendVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount) {
  return MoveVec(hSocket, pBufs, nCount, true);
}

unsigned SockRecvVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount) {
  return MoveVec(hSocket, pBufs, nCount, false);
}

long SockPendingBytes(SocketHandle hSocket) {
  u_long nPending = 0;
  if (ioctlsocket(Sock(hSocket), FIONREAD, &nPending) != 0) return -1;
  return static_cast<long>(nPending);
}

int SockWait(SocketHandle hSocket, bool bWrite, long nSec, long nUsec) {
  if (nSec < 0) nSec = 0;
  if (nUsec < 0) nUsec = 0;
  timeval tv;
  const long MAX_WAIT_SEC = 100000000L;  // about three years
  nSec = nSec > MAX_WAIT_SEC ? MAX_WAIT_SEC : nSec;
  const long nExtraSec = nUsec / 1000000;
  tv.tv_sec = nExtraSec > MAX_WAIT_SEC - nSec ? MAX_WAIT_SEC : nSec + nExtraSec;
  tv.tv_usec = nUsec % 1000000;
  fd_set setReady;
  FD_ZERO(&setReady);
  FD_SET(Sock(hSocket), &setReady);
  // A failed connection attempt shows up among the exceptions, not as
  // writable: wait for both, so that it ends the wait as it does on POSIX.
  fd_set setExcept;
  FD_ZERO(&setExcept);
  FD_SET(Sock(hSocket), &setExcept);
  return select(0, bWrite ? nullptr : &setReady, bWrite ? &setReady : nullptr,
                bWrite ? &setExcept : nullptr, &tv);
}

int SockPollReceive(SockPollItem* pItems, std::size_t nCount, long nTimeoutMs) {
  if ((nCount > 0 && pItems == nullptr) || nCount > ULONG_MAX) {
    WSASetLastError(WSAEINVAL);
    return -1;
  }
  if (nTimeoutMs < 0) nTimeoutMs = 0;
  if (nCount == 0) {
    // WSAPoll refuses an empty set; a plain wait does the same job.
    Sleep(static_cast<DWORD>(nTimeoutMs));
    return 0;
  }
  std::unique_ptr<WSAPOLLFD[]> pFds(new (std::nothrow) WSAPOLLFD[nCount]);
  if (!pFds) {
    WSASetLastError(WSA_NOT_ENOUGH_MEMORY);
    return -1;
  }
  for (std::size_t i = 0; i < nCount; ++i) {
    pItems[i].bReady = false;
    pFds[i].fd = Sock(pItems[i].hSocket);
    pFds[i].events = POLLRDNORM;
    pFds[i].revents = 0;
  }
  const int nReady = WSAPoll(pFds.get(), static_cast<ULONG>(nCount),
                             nTimeoutMs > INT_MAX ? INT_MAX : static_cast<INT>(nTimeoutMs));
  if (nReady < 0) return -1;
  for (std::size_t i = 0; i < nCount; ++i) {
    pItems[i].bReady = pFds[i].revents != 0;
  }
  return nReady;
}

int SockSetOption(SocketHandle hSocket, int nLevel, int nName, const void* pValue, int nLen) {
  return setsockopt(Sock(hSocket), nLevel, nName, static_cast<const char*>(pValue), nLen);
}

int SockGetOption(SocketHandle hSocket, int nLevel, int nName, void* pValue, int* pLen) {
  return getsockopt(Sock(hSocket), nLevel, nName, static_cast<char*>(pValue), pLen);
}

int SockSetNonBlocking(SocketHandle hSocket, bool bNonBlocking) {
  u_long nOn = bNonBlocking ? 1 : 0;
  return ioctlsocket(Sock(hSocket), FIONBIO, &nOn);
}

int SockSetLinger(SocketHandle hSocket, bool bOn, int nSeconds) {
  linger stLinger;
  stLinger.l_onoff = static_cast<u_short>(bOn ? 1 : 0);
  stLinger.l_linger = static_cast<u_short>(nSeconds);
  return SockSetOption(hSocket, SOL_SOCKET, SO_LINGER, &stLinger, sizeof stLinger);
}

int SockPendingError(SocketHandle hSocket, int& nError) {
  int nValue = 0;
  int nLen = sizeof nValue;
  const int nResult = SockGetOption(hSocket, SOL_SOCKET, SO_ERROR, &nValue, &nLen);
  if (nResult == 0) nError = nValue;
  return nResult;
}

int SockHostName(char* szName, int nLen) {
  if (szName == nullptr || nLen <= 0) {
    WSASetLastError(WSAEFAULT);
    return -1;
  }
  if (gethostname(szName, nLen) != 0) return -1;
  szName[nLen - 1] = '\0';
  return 0;
}

std::uint32_t SockInetAddr(const char* szText) {
  if (szText == nullptr) return SOCK_INADDR_NONE;
  return inet_addr(szText);
}

bool SockResolveIPv4(const char* szHost, std::vector<std::uint32_t>& vecAddrs) {
  if (szHost == nullptr) {
    WSASetLastError(WSAHOST_NOT_FOUND);
    return false;
  }
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* pList = nullptr;
  const int nResult = getaddrinfo(szHost, nullptr, &hints, &pList);
  if (nResult != 0) {
    WSASetLastError(nResult);
    return false;
  }
  SockCollectIPv4<sockaddr_in>(pList, vecAddrs);
  freeaddrinfo(pList);
  return true;
}

bool SockAdapterList(std::vector<SockAdapter>& vecAdapters) {
  // A first call into a small buffer; a second one always, into a buffer of
  // the size the first asked for when the first did not succeed.
  ULONG nSize = 648;
  std::unique_ptr<unsigned char[]> pBuf(new unsigned char[nSize]);
  if (GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(pBuf.get()), &nSize) != ERROR_SUCCESS) {
    if (nSize == 0) return false;
    pBuf.reset(new unsigned char[nSize]);
  }
  if (GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(pBuf.get()), &nSize) != ERROR_SUCCESS)
    return false;
  for (const IP_ADAPTER_INFO* p = reinterpret_cast<const IP_ADAPTER_INFO*>(pBuf.get());
       p != nullptr; p = p->Next) {
    SockAdapter adapter;
    adapter.strDescription.assign(p->Description, strnlen(p->Description, sizeof p->Description));
    std::memcpy(adapter.szMac, p->Address, sizeof adapter.szMac);
    vecAdapters.push_back(adapter);
  }
  return true;
}
