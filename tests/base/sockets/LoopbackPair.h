#pragma once

// A connected TCP pair on 127.0.0.1 (a listener on a port the system picks, a client and the
// accepted peer), all closed when the pair goes away.

#include <memory>

#include "base/sockets/TcpServerSocket.h"
#include "tests/support/TestFiles.h"

struct LoopbackPair {
  CTcpServerSocket server;
  CTcpSocket client;
  CTcpSocket peer;  // the accepted end
  ~LoopbackPair();
};

// bStallingClient shrinks the client's send and the peer's receive buffer and makes the client
// non-blocking, so that a peer that does not read stalls the sender soon.
std::unique_ptr<LoopbackPair> MakeLoopbackPair(bool bStallingClient = false);

// The port a socket is bound to (0 when it is not bound).
unsigned short LocalPort(const CBaseSocket& sock);

// True once the socket has exactly nBytes unread, within 20 s.
inline bool WaitPending(SocketHandle hSocket, long nBytes) {
  return WaitUntil([&] { return SockPendingBytes(hSocket) == nBytes; }, 20000);
}
