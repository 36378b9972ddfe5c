#pragma once

// A connected TCP pair on 127.0.0.1: a listener on a port the system picks,
// a client connected to it and the accepted peer. Everything is closed when
// the pair goes away.

#include <memory>

#include "base/sockets/TcpServerSocket.h"

struct LoopbackPair {
  CTcpServerSocket server;
  CTcpSocket client;
  CTcpSocket peer;  // the accepted end
  ~LoopbackPair();
};

// nBufBytes > 0 shrinks the client's send buffer and the peer's receive
// buffer to that size, so that a peer that does not read stalls the sender
// soon. bClientBlocking false puts the client in non-blocking mode.
std::unique_ptr<LoopbackPair> MakeLoopbackPair(int nBufBytes = 0, bool bClientBlocking = true);

// The port a socket is bound to (0 when it is not bound).
unsigned short LocalPort(const CBaseSocket& sock);

// Spins (yielding, no sleeping) until the socket has exactly nBytes unread
// bytes waiting. Fails the test after 20 s so that a fault cannot hang it.
bool WaitPending(SocketHandle hSocket, long nBytes);

// True when the test runs as a Windows program under Wine.
bool RunningUnderWine();
