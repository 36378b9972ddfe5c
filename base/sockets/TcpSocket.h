#pragma once

// CTcpSocket: an IPv4 TCP stream socket. Connect (plain and with a time-out),
// single-call send and receive, all-or-nothing loops that move an exact
// number of bytes, length-prefixed messages and reads up to a terminator.
//
// Stop flags: a pointer to a caller-owned bool (null: none) or, in the _ex
// forms, a vector of them. The loops only read the flags, with an atomic
// load, so another thread may clear one (preferably with an atomic store,
// e.g. __atomic_store_n) to end a loop within one wait: 10 ms in the untimed
// loops, 50 ms in the timed ones, 200 ms in the timed connect.
//
// Transient errors (SOCK_ERR_INTERRUPTED, SOCK_ERR_WOULD_BLOCK,
// SOCK_ERR_TRY_AGAIN) mean "retry" in every loop; any other error ends it.
// Within the loops each send or receive waits for nothing beyond the loop's
// own readiness wait on POSIX, even on a blocking socket; on Windows a
// blocking socket may block in send when the peer stops reading, so loops
// that must honour their time-out and stop flags there run on a non-blocking
// socket (as the listener's accepted sockets are).
//
// The destructor closes nothing; the owner calls CloseSocket().

#include <string>
#include <vector>

#include "base/sockets/BaseSocket.h"

class CTcpSocket : public CBaseSocket {
 public:
  // Creates a socket at once (CreateSocket(bReuse)) when bCreate is true; a
  // failure leaves the object without a socket.
  explicit CTcpSocket(bool bCreate = false, bool bReuse = false);
  // Adopts a raw handle.
  explicit CTcpSocket(const SocketHandle& hSocket);
  CTcpSocket(const CTcpSocket& other);
  CTcpSocket& operator=(const SocketHandle& hSocket);
  CTcpSocket& operator=(const CTcpSocket& other);
  ~CTcpSocket() override;

  // Closes any present socket and creates a new IPv4 stream socket; with
  // bReuse sets SO_REUSEADDR (closing the socket again if that fails).
  bool CreateSocket(bool bReuse) override;
  // Closes a valid socket and forgets the handle.
  void CloseSocket() override;

  // Connects to a dotted address (no name resolution).
  bool Connect(const char* szHost, unsigned short nPort);
  // Connects without blocking for longer than nTimeoutSec: a host name is
  // resolved when szHost is not a dotted address. With pbRun the wait is
  // split into 200 ms polls and ends early when *pbRun reads false. With
  // bRestoreBlocking the socket is set back to blocking mode on success,
  // otherwise it stays non-blocking.
  bool Connect(const char* szHost, unsigned short nPort, int nTimeoutSec,
               bool bRestoreBlocking = true, const bool* pbRun = nullptr);

  // One send / recv: -1 with no socket, else the system's result.
  int Send(const char* pBuf, unsigned nLen, unsigned nFlags = 0);
  int Receive(char* pBuf, unsigned nLen, unsigned nFlags = 0);
  // Sends the string's bytes and its terminating NUL in one send.
  int Send(const std::string& str, unsigned nFlags = 0);
  // One readability wait; its result when below 1, else one recv.
  int ReceiveWithTimeout(char* pBuf, unsigned nLen, unsigned nSec, unsigned nUsec,
                         unsigned nFlags = 0);

  // One gathered send / scattered receive: the bytes moved, 0 on failure.
  unsigned SendBufVec(SocketBuf* pBufs, int nCount);
  unsigned ReceiveBufVec(SocketBuf* pBufs, int nCount);

  // The peer's dotted address and host-order port.
  bool GetRemoteInfo(std::string& strAddress, unsigned short& nPort) const;
  // Linger on with time 0: closing resets the connection at once.
  void SetNoLinger();
  // True when the last socket error is not one of the transient ones.
  static bool HasSocketErr();

  // Exact-length loops. nDone is set to 0 first and counts the bytes moved.
  // True when all nLen bytes moved. False with no socket, on a wait error, a
  // non-transient send/receive error, a peer that closed (receive), a stop
  // flag that reads false before the end, or (timed forms) once more than
  // nTimeoutMs / 50 (rounded up) of the 50 ms waits have timed out in all
  // (waits that brought data do not count).
  bool Send_n(const char* pBuf, unsigned nLen, unsigned& nDone, const bool* pbStop = nullptr);
  bool Send_n_timeout(const char* pBuf, unsigned nLen, int nTimeoutMs, unsigned& nDone,
                      const bool* pbStop = nullptr);
  bool Receive_n(char* pBuf, unsigned nLen, unsigned& nDone, const bool* pbStop = nullptr);
  bool Receive_n_timeout(char* pBuf, unsigned nLen, int nTimeoutMs, unsigned& nDone,
                         const bool* pbStop = nullptr);
  bool Send_n_ex(const char* pBuf, unsigned nLen, unsigned& nDone,
                 std::vector<const bool*> vecStop);
  bool Send_n_timeout_ex(const char* pBuf, unsigned nLen, int nTimeoutMs, unsigned& nDone,
                         std::vector<const bool*> vecStop);
  bool Receive_n_ex(char* pBuf, unsigned nLen, unsigned& nDone, std::vector<const bool*> vecStop);
  bool Receive_n_timeout_ex(char* pBuf, unsigned nLen, int nTimeoutMs, unsigned& nDone,
                            std::vector<const bool*> vecStop);

  // Reads one message framed by a 32-bit length: the 4 header bytes and the
  // body land in pBuf (nBufLen bytes). bLengthIncludesHeader: the length
  // counts the header too; bNetworkOrder: the length is big-endian, else in
  // host order. nMsgLen is the header plus the body bytes read. A length that
  // does not fit the buffer refuses the message after the header (false).
  bool AutoReceiveMsg(char* pBuf, unsigned nBufLen, unsigned& nMsgLen, bool bLengthIncludesHeader,
                      bool bNetworkOrder, const bool* pbStop = nullptr);

  // Reads into pBuf until szTerminator appears, at most nBufLen bytes (pBuf
  // holds nBufLen + 1: a NUL is kept after the data). pSearchFrom, at or
  // before pBuf, is where the search starts: text held before pBuf from there
  // on is searched first (null: pBuf). The wait allows nTimeoutMs / 50
  // (rounded up) idle 50 ms passes. On success pFound points at the
  // terminator. nReceived counts the bytes read into pBuf.
  bool ReadForTerminalStr(char* pBuf, unsigned nBufLen, int nTimeoutMs, const char* szTerminator,
                          int& nReceived, char* pSearchFrom, char*& pFound);
  // The same on raw bytes: no NUL is written, pBuf holds nBufLen bytes, and
  // nFoundOffset (-1 when not found) is the terminator's position relative
  // to pBuf (negative when it lies in the data held before pBuf).
  bool ReadForTerminalBytes(unsigned char* pBuf, unsigned nBufLen, int nTimeoutMs,
                            const unsigned char* pTerminator, unsigned nTermLen, int& nReceived,
                            unsigned char* pSearchFrom, int& nFoundOffset);

 private:
  bool ExactLoop(bool bSend, char* pBuf, unsigned nLen, bool bTimed, int nTimeoutMs,
                 unsigned& nDone, const std::vector<const bool*>& vecStop);
  bool ReadForTerminal(unsigned char* pBuf, unsigned nBufLen, int nTimeoutMs,
                       const unsigned char* pTerminator, unsigned nTermLen, bool bText,
                       int& nReceived, unsigned char* pSearchFrom, unsigned char*& pFound);
};
