#pragma once

// The platform's socket interface, reduced to what the socket classes need.
// SocketApi_posix.cpp speaks BSD sockets, SocketApi_win.cpp Windows Sockets 2;
// SocketApi.cpp holds the few portable helpers (byte order, address text,
// calls built on the seam's own); SocketApiCommon.h what both halves share.
//
// Conventions shared by both implementations:
// - A socket handle is an unsigned pointer-sized value; all ones means "no
//   socket" (INVALID_SOCKET_HANDLE, the value -1 converts to).
// - Calls return what the system call returns (0 or a count on success, -1 on
//   failure). After a failure SockLastError() gives the error in Windows
//   Sockets numbering on every platform, so that the transient errors read
//   alike: interrupted 10004, would block 10035, try again 11002.
// - Sending never raises SIGPIPE.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef std::uintptr_t SocketHandle;
const SocketHandle INVALID_SOCKET_HANDLE = ~SocketHandle(0);

// Error numbers as SockLastError() reports them.
enum emSockError {
  SOCK_ERR_INTERRUPTED = 10004,  // a signal or a cancelled blocking call
  SOCK_ERR_WOULD_BLOCK = 10035,  // also a non-blocking connect in progress
  SOCK_ERR_TRY_AGAIN = 11002,    // name resolution failed for now
  // The two accept failures that only mean "this one connection went away
  // before it was taken": POSIX ECONNABORTED and EPROTO. Windows never
  // reports them; on POSIX they read as these numbers.
  SOCK_ERR_ACCEPT_ABORTED = 106,
  SOCK_ERR_ACCEPT_PROTO = 134,
};

// An IPv4 socket address laid out as the platform's sockaddr_in (16 bytes):
// family 2, port and address in network order, 8 zero bytes.
struct SockAddrIn4 {
  std::uint16_t nFamily;
  std::uint16_t nPort;
  std::uint32_t nAddr;
  unsigned char szZero[8];
};
static_assert(sizeof(SockAddrIn4) == 16, "SockAddrIn4 must match sockaddr_in");

const std::uint16_t SOCK_AF_INET = 2;
const std::uint32_t SOCK_INADDR_ANY = 0;
const std::uint32_t SOCK_INADDR_NONE = 0xFFFFFFFFu;

// One piece of a gathered send or a scattered receive (the fields of WSABUF).
struct SocketBuf {
  std::uint32_t len;
  char* buf;
};

// One network adapter as the adapter list gives it.
struct SockAdapter {
  std::string strDescription;  // Windows: the description; POSIX: the name
  unsigned char szMac[6];      // first six hardware address bytes, 0-padded
};

// Platform values of the option levels and names (for SetSockOpt callers).
extern const int SOCK_SOL_SOCKET;
extern const int SOCK_SO_REUSEADDR;
extern const int SOCK_SO_RCVBUF;
extern const int SOCK_SO_SNDBUF;
extern const int SOCK_SO_KEEPALIVE;

// --- portable helpers (SocketApi.cpp) ---
std::uint16_t SockHostToNet16(std::uint16_t nValue);
std::uint16_t SockNetToHost16(std::uint16_t nValue);
std::uint32_t SockHostToNet32(std::uint32_t nValue);
std::uint32_t SockNetToHost32(std::uint32_t nValue);
// "a.b.c.d" of an address in network order (what inet_ntoa gives).
std::string SockFormatIPv4(std::uint32_t nAddrNet);
// An IPv4 socket address of family 2 with the port in host order.
SockAddrIn4 SockMakeAddr(std::uint32_t nAddrNet, std::uint16_t nPortHost);

// --- library start-up ---
// Windows: starts Windows Sockets asking for 2.2; false (and cleaned up again)
// unless exactly 2.2 was granted. POSIX: true, nothing to do.
bool SockStartup();
// Windows: one WSACleanup. POSIX: nothing.
void SockCleanup();

// --- errors ---
int SockLastError();
void SockSetLastError(int nError);

// --- handles ---
SocketHandle SockOpenTcp();  // IPv4 stream socket, INVALID_SOCKET_HANDLE on failure
int SockClose(SocketHandle hSocket);
int SockBind(SocketHandle hSocket, const SockAddrIn4& addr);
int SockListen(SocketHandle hSocket, int nBacklog);
// Accepts one connection without fetching the peer's address. The new socket
// has the listening socket's blocking mode on both platforms.
SocketHandle SockAccept(SocketHandle hSocket);
int SockConnect(SocketHandle hSocket, const SockAddrIn4& addr);
int SockShutdown(SocketHandle hSocket, int nHow);
int SockLocalName(SocketHandle hSocket, SockAddrIn4& addr);
int SockPeerName(SocketHandle hSocket, SockAddrIn4& addr);

// --- data ---
// One send/recv with the caller's flags (the platform's MSG_ values).
int SockSend(SocketHandle hSocket, const char* pBuf, unsigned nLen, unsigned nFlags);
int SockRecv(SocketHandle hSocket, char* pBuf, unsigned nLen, unsigned nFlags);
// One send/recv that does not wait for buffer space or data, whatever the
// socket's mode, where the platform can do that per call (POSIX:
// MSG_DONTWAIT). Windows has no such flag: there the socket's own mode rules.
int SockSendNoWait(SocketHandle hSocket, const char* pBuf, unsigned nLen);
int SockRecvNoWait(SocketHandle hSocket, char* pBuf, unsigned nLen);
// Gathered send / scattered receive; the byte count moved, 0 on failure.
unsigned SockSendVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount);
unsigned SockRecvVec(SocketHandle hSocket, SocketBuf* pBufs, int nCount);
// Bytes waiting to be read (FIONREAD), -1 on failure.
long SockPendingBytes(SocketHandle hSocket);

// --- readiness ---
// Waits until the socket can be written (bWrite) or read, at most nSec
// seconds and nUsec microseconds (negative values count as 0). Returns >0
// when ready, 0 on time-out, -1 on failure. A socket whose connection attempt
// failed counts as ready for writing on both platforms.
int SockWait(SocketHandle hSocket, bool bWrite, long nSec, long nUsec);

// One socket of a multi-socket wait for readability: bReady is set when data,
// an end of stream, an error or a waiting connection (listening sockets) can
// be read, and cleared otherwise.
struct SockPollItem {
  SocketHandle hSocket;
  bool bReady;
};
// Waits until one of the sockets can be read, at most nTimeoutMs
// milliseconds (negative counts as 0). Returns how many are ready, 0 on
// time-out, -1 on failure. No bound on the number of sockets (POSIX: ppoll,
// Windows: WSAPoll); a socket the system does not know counts as ready, so
// that the caller's next call on it fails and tells why.
int SockPollReceive(SockPollItem* pItems, std::size_t nCount, long nTimeoutMs);

// --- options ---
int SockSetOption(SocketHandle hSocket, int nLevel, int nName, const void* pValue,
                  int nLen);
int SockGetOption(SocketHandle hSocket, int nLevel, int nName, void* pValue, int* pLen);
int SockSetNonBlocking(SocketHandle hSocket, bool bNonBlocking);  // FIONBIO
int SockSetReuseAddr(SocketHandle hSocket, bool bOn);
int SockSetLinger(SocketHandle hSocket, bool bOn, int nSeconds);
// Reads and clears the pending socket error (SO_ERROR) into nError, in the
// numbering of SockLastError(). Returns the getsockopt result.
int SockPendingError(SocketHandle hSocket, int& nError);

// --- names and addresses ---
int SockHostName(char* szName, int nLen);
// inet_addr: the address in network order, SOCK_INADDR_NONE for bad text.
std::uint32_t SockInetAddr(const char* szText);
// The IPv4 addresses of a host name in the resolver's order, in network order.
// False when the name does not resolve (the last error is then set).
bool SockResolveIPv4(const char* szHost, std::vector<std::uint32_t>& vecAddrs);
// The network adapters in the platform's order (Windows: the IP helper's
// list, which leaves the loopback out; POSIX: every interface with a hardware
// address except the loopback). False when the list cannot be read.
bool SockAdapterList(std::vector<SockAdapter>& vecAdapters);
