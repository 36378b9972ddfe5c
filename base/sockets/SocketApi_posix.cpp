// BSD sockets behind the socket layer (Linux).
//
// Errors: every failing call stores its errno, translated into the Windows
// Sockets numbering, in a per-thread slot that SockLastError() reads, so a
// later library call (a log line, a debug print) cannot overwrite it.
#include "base/sockets/SocketApi.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <memory>
#include <new>

#include "base/sockets/SocketApiCommon.h"

const int SOCK_SOL_SOCKET = SOL_SOCKET;
const int SOCK_SO_REUSEADDR = SO_REUSEADDR;
const int SOCK_SO_RCVBUF = SO_RCVBUF;
const int SOCK_SO_SNDBUF = SO_SNDBUF;
const int SOCK_SO_KEEPALIVE = SO_KEEPALIVE;

namespace {

thread_local int t_nLastError = 0;

int MapErrno(int nErrno) {
  switch (nErrno) {
    case 0: return 0;
    case EINTR: return SOCK_ERR_INTERRUPTED;
    case EAGAIN: return SOCK_ERR_WOULD_BLOCK;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return SOCK_ERR_WOULD_BLOCK;
#endif
    // A non-blocking connect under way: Windows reports it as would-block.
    case EINPROGRESS: return SOCK_ERR_WOULD_BLOCK;
    case ECONNABORTED: return SOCK_ERR_ACCEPT_ABORTED;
    case EPROTO: return SOCK_ERR_ACCEPT_PROTO;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case ENAMETOOLONG: return 10014;  // gethostname: buffer too small
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // the peer is gone
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return nErrno;
  }
}

int MapAddrInfoError(int nError) {
  switch (nError) {
    case EAI_AGAIN: return SOCK_ERR_TRY_AGAIN;
    case EAI_NONAME: return 11001;  // host not found
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_SYSTEM: return MapErrno(errno);
    default: return 11003;  // non-recoverable
  }
}

// Stores the current errno and passes a result through.
template <typename T>
T Fail(T result) {
  t_nLastError = MapErrno(errno);
  return result;
}

int Check(int nResult) { return nResult < 0 ? Fail(nResult) : nResult; }

// The descriptor of a handle, -1 (and EBADF stored) when it cannot be one.
int Fd(SocketHandle hSocket) {
  if (hSocket > static_cast<SocketHandle>(INT_MAX)) {
    t_nLastError = MapErrno(EBADF);
    return -1;
  }
  return static_cast<int>(hSocket);
}

SocketHandle ToHandle(int nFd) {
  return nFd < 0 ? INVALID_SOCKET_HANDLE : static_cast<SocketHandle>(nFd);
}

int ClampLen(unsigned nLen) { return nLen > INT_MAX ? INT_MAX : static_cast<int>(nLen); }

timespec Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts;
}

long long ToNanos(const timespec& ts) { return ts.tv_sec * 1000000000LL + ts.tv_nsec; }

}  // namespace

bool SockStartup() { return true; }

void SockCleanup() {}

int SockLastError() { return t_nLastError; }

void SockSetLastError(int nError) { t_nLastError = nError; }

SocketHandle SockOpenTcp() {
  const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return nFd < 0 ? Fail(INVALID_SOCKET_HANDLE) : ToHandle(nFd);
}

int SockClose(SocketHandle hSocket) {
  const int nFd = Fd(hSocket);
  return nFd < 0 ? -1 : Check(close(nFd));
}

int SockBind(SocketHandle hSocket, const SockAddrIn4& addr) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  const sockaddr_in sa = SockToPlatformAddr<sockaddr_in>(addr);
  return Check(bind(nFd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int SockListen(SocketHandle hSocket, int nBacklog) {
  const int nFd = Fd(hSocket);
  return nFd < 0 ? -1 : Check(listen(nFd, nBacklog));
}

SocketHandle SockAccept(SocketHandle hSocket) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return INVALID_SOCKET_HANDLE;
  // Windows hands the listening socket's non-blocking mode on to the accepted
  // socket; POSIX accept does not, so ask for it explicitly.
  const int nFlags = fcntl(nFd, F_GETFL);
  if (nFlags < 0) return Fail(INVALID_SOCKET_HANDLE);
  const int nNew =
      accept4(nFd, nullptr, nullptr, SOCK_CLOEXEC | ((nFlags & O_NONBLOCK) ? SOCK_NONBLOCK : 0));
  return nNew < 0 ? Fail(INVALID_SOCKET_HANDLE) : ToHandle(nNew);
}

int SockConnect(SocketHandle hSocket, const SockAddrIn4& addr) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  const sockaddr_in sa = SockToPlatformAddr<sockaddr_in>(addr);
  return Check(connect(nFd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int SockShutdown(SocketHandle hSocket, int nHow) {
  const int nFd = Fd(hSocket);
  return nFd < 0 ? -1 : Check(shutdown(nFd, nHow));
}

int SockLocalName(SocketHandle hSocket, SockAddrIn4& addr) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  sockaddr_in sa;
  socklen_t nLen = sizeof sa;
  if (getsockname(nFd, reinterpret_cast<sockaddr*>(&sa), &nLen) != 0) return Fail(-1);
  addr = SockFromPlatformAddr(sa);
  return 0;
}

int SockPeerName(SocketHandle hSocket, SockAddrIn4& addr) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  sockaddr_in sa;
  socklen_t nLen = sizeof sa;
  if (getpeername(nFd, reinterpret_cast<sockaddr*>(&sa), &nLen) != 0) return Fail(-1);
  addr = SockFromPlatformAddr(sa);
  return 0;
}

int SockSend(SocketHandle hSocket, const char* pBuf, unsigned nLen, unsigned nFlags) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  const ssize_t nSent = send(nFd, pBuf, static_cast<size_t>(ClampLen(nLen)),
                             static_cast<int>(nFlags) | MSG_NOSIGNAL);
  return nSent < 0 ? Fail(-1) : static_cast<int>(nSent);
}

int SockRecv(SocketHandle hSocket, char* pBuf, unsigned nLen, unsigned nFlags) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  const ssize_t nGot =
      recv(nFd, pBuf, static_cast<size_t>(ClampLen(nLen)), static_cast<int>(nFlags));
  return nGot < 0 ? Fail(-1) : static_cast<int>(nGot);
}

int SockSendNoWait(SocketHandle hSocket, const char* pBuf, unsigned nLen) {
  return SockSend(hSocket, pBuf, nLen, MSG_DONTWAIT);
}

int SockRecvNoWait(SocketHandle hSocket, char* pBuf, unsigned nLen) {
  return SockRecv(hSocket, pBuf, nLen, MSG_DONTWAIT);
}

namespace {
unsigned MoveVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount, bool bSend) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return 0;
  if (nCount < 0 || (nCount > 0 && pBufs == nullptr) || nCount > IOV_MAX) {
    t_nLastError = MapErrno(EINVAL);
    return 0;
  }
  std::unique_ptr<iovec[]> pIov(new iovec[nCount > 0 ? nCount : 1]);
  for (int i = 0; i < nCount; ++i) {
    pIov[i].iov_base = pBufs[i].buf;
    pIov[i].iov_len = pBufs[i].len;
  }
  msghdr msg;
  std::memset(&msg, 0, sizeof msg);
  msg.msg_iov = pIov.get();
  msg.msg_iovlen = static_cast<size_t>(nCount);
  const ssize_t nMoved = bSend ? sendmsg(nFd, &msg, MSG_NOSIGNAL) : recvmsg(nFd, &msg, 0);
  if (nMoved < 0) return Fail(0u);
  return nMoved > static_cast<ssize_t>(UINT_MAX) ? UINT_MAX : static_cast<unsigned>(nMoved);
}
}  // namespace

unsigned SockSendVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount) {
  return MoveVec(hSocket, pBufs, nCount, true);
}

unsigned SockRecvVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount) {
  return MoveVec(hSocket, pBufs, nCount, false);
}

long SockPendingBytes(SocketHandle hSocket) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  int nPending = 0;
  if (ioctl(nFd, FIONREAD, &nPending) != 0) return Fail(-1L);
  return nPending;
}

int SockWait(SocketHandle hSocket, bool bWrite, long nSec, long nUsec) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  // poll rather than select: a descriptor above FD_SETSIZE must not overrun
  // an fd_set. A signal does not end the wait early; it resumes with the time
  // that is left.
  // Waits are bounded at about three years, far beyond any caller's need,
  // so that the nanosecond arithmetic cannot overflow.
  const long MAX_WAIT_SEC = 100000000L;
  if (nSec < 0) nSec = 0;
  if (nUsec < 0) nUsec = 0;
  if (nSec > MAX_WAIT_SEC) nSec = MAX_WAIT_SEC;
  nSec += nUsec / 1000000L;
  nUsec %= 1000000L;
  if (nSec > MAX_WAIT_SEC) nSec = MAX_WAIT_SEC;
  long long nWaitNs = nSec * 1000000000LL + nUsec * 1000LL;
  const long long nEnd = ToNanos(Now()) + nWaitNs;
  pollfd pfd;
  pfd.fd = nFd;
  pfd.events = bWrite ? POLLOUT : POLLIN;
  for (;;) {
    pfd.revents = 0;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(nWaitNs / 1000000000LL);
    ts.tv_nsec = static_cast<long>(nWaitNs % 1000000000LL);
    const int nReady = ppoll(&pfd, 1, &ts, nullptr);
    if (nReady < 0 && errno == EINTR) {
      nWaitNs = nEnd - ToNanos(Now());
      if (nWaitNs < 0) nWaitNs = 0;
      continue;
    }
    if (nReady < 0) return Fail(-1);
    if (nReady > 0 && (pfd.revents & POLLNVAL)) {
      t_nLastError = MapErrno(EBADF);
      return -1;
    }
    // Errors and hang-ups count as ready, as select reports them.
    return nReady;
  }
}

int SockPollReceive(SockPollItem* pItems, std::size_t nCount, long nTimeoutMs) {
  if (nCount > 0 && pItems == nullptr) {
    t_nLastError = MapErrno(EINVAL);
    return -1;
  }
  std::unique_ptr<pollfd[]> pFds(new (std::nothrow) pollfd[nCount > 0 ? nCount : 1]);
  if (!pFds) {
    t_nLastError = MapErrno(ENOMEM);
    return -1;
  }
  for (std::size_t i = 0; i < nCount; ++i) {
    pItems[i].bReady = false;
    pFds[i].fd = Fd(pItems[i].hSocket);  // -1 is skipped by the system
    pFds[i].events = POLLIN;
    pFds[i].revents = 0;
  }
  if (nTimeoutMs < 0) nTimeoutMs = 0;
  const long long nEnd = ToNanos(Now()) + static_cast<long long>(nTimeoutMs) * 1000000LL;
  long long nWaitNs = static_cast<long long>(nTimeoutMs) * 1000000LL;
  for (;;) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(nWaitNs / 1000000000LL);
    ts.tv_nsec = static_cast<long>(nWaitNs % 1000000000LL);
    const int nReady = ppoll(pFds.get(), static_cast<nfds_t>(nCount), &ts, nullptr);
    if (nReady < 0 && errno == EINTR) {
      nWaitNs = nEnd - ToNanos(Now());
      if (nWaitNs < 0) nWaitNs = 0;
      continue;
    }
    if (nReady < 0) return Fail(-1);
    for (std::size_t i = 0; i < nCount; ++i) {
      pItems[i].bReady = pFds[i].revents != 0;
    }
    return nReady;
  }
}

int SockSetOption(SocketHandle hSocket, int nLevel, int nName, const void* pValue, int nLen) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  if (nLen < 0) {
    t_nLastError = MapErrno(EINVAL);
    return -1;
  }
  return Check(setsockopt(nFd, nLevel, nName, pValue, static_cast<socklen_t>(nLen)));
}

int SockGetOption(SocketHandle hSocket, int nLevel, int nName, void* pValue, int* pLen) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  if (pLen == nullptr || *pLen < 0) {
    t_nLastError = MapErrno(EINVAL);
    return -1;
  }
  socklen_t nLen = static_cast<socklen_t>(*pLen);
  const int nResult = Check(getsockopt(nFd, nLevel, nName, pValue, &nLen));
  if (nResult == 0) *pLen = static_cast<int>(nLen);
  return nResult;
}

int SockSetNonBlocking(SocketHandle hSocket, bool bNonBlocking) {
  const int nFd = Fd(hSocket);
  if (nFd < 0) return -1;
  int nOn = bNonBlocking ? 1 : 0;
  return Check(ioctl(nFd, FIONBIO, &nOn));
}

int SockSetLinger(SocketHandle hSocket, bool bOn, int nSeconds) {
  linger stLinger;
  stLinger.l_onoff = bOn ? 1 : 0;
  stLinger.l_linger = nSeconds;
  return SockSetOption(hSocket, SOL_SOCKET, SO_LINGER, &stLinger, sizeof stLinger);
}

int SockPendingError(SocketHandle hSocket, int& nError) {
  int nValue = 0;
  int nLen = sizeof nValue;
  const int nResult = SockGetOption(hSocket, SOL_SOCKET, SO_ERROR, &nValue, &nLen);
  if (nResult == 0) nError = MapErrno(nValue);
  return nResult;
}

int SockHostName(char* szName, int nLen) {
  if (szName == nullptr || nLen <= 0) {
    t_nLastError = MapErrno(EFAULT);
    return -1;
  }
  if (gethostname(szName, static_cast<size_t>(nLen)) != 0) return Fail(-1);
  szName[nLen - 1] = '\0';
  return 0;
}

std::uint32_t SockInetAddr(const char* szText) {
  if (szText == nullptr) return SOCK_INADDR_NONE;
  return inet_addr(szText);
}

bool SockResolveIPv4(const char* szHost, std::vector<std::uint32_t>& vecAddrs) {
  if (szHost == nullptr) {
    t_nLastError = 11001;
    return false;
  }
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* pList = nullptr;
  const int nResult = getaddrinfo(szHost, nullptr, &hints, &pList);
  if (nResult != 0) {
    t_nLastError = MapAddrInfoError(nResult);
    return false;
  }
  SockCollectIPv4<sockaddr_in>(pList, vecAddrs);
  freeaddrinfo(pList);
  return true;
}

bool SockAdapterList(std::vector<SockAdapter>& vecAdapters) {
  ifaddrs* pList = nullptr;
  if (getifaddrs(&pList) != 0) return Fail(false);
  for (const ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
    if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_PACKET) continue;
    if (p->ifa_flags & IFF_LOOPBACK) continue;
    sockaddr_ll sll;
    std::memcpy(&sll, p->ifa_addr, sizeof sll);
    SockAdapter adapter;
    adapter.strDescription = p->ifa_name != nullptr ? p->ifa_name : "";
    std::memset(adapter.szMac, 0, sizeof adapter.szMac);
    const size_t nLen = sll.sll_halen < sizeof adapter.szMac ? sll.sll_halen : sizeof adapter.szMac;
    std::memcpy(adapter.szMac, sll.sll_addr, nLen);
    vecAdapters.push_back(adapter);
  }
  freeifaddrs(pList);
  return true;
}
