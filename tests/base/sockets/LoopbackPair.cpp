#include "LoopbackPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

LoopbackPair::~LoopbackPair() {
  client.CloseSocket();
  peer.CloseSocket();
  server.CloseSocket();
}

std::unique_ptr<LoopbackPair> MakeLoopbackPair(int nBufBytes, bool bClientBlocking) {
  auto pair = std::make_unique<LoopbackPair>();
  EXPECT_TRUE(pair->server.CreateSocket(false));
  EXPECT_TRUE(pair->client.CreateSocket(false));
  if (nBufBytes > 0) {
    // Set on the listener before listening: the accepted socket inherits it.
    EXPECT_EQ(0, pair->server.SetSockOpt(SOCK_SOL_SOCKET, SOCK_SO_RCVBUF, &nBufBytes,
                                         sizeof nBufBytes));
    EXPECT_EQ(0, pair->client.SetSockOpt(SOCK_SOL_SOCKET, SOCK_SO_SNDBUF, &nBufBytes,
                                         sizeof nBufBytes));
  }
  EXPECT_TRUE(pair->server.Bind(0, "127.0.0.1"));
  EXPECT_TRUE(pair->server.Listen(5));
  EXPECT_TRUE(pair->client.Connect("127.0.0.1", LocalPort(pair->server)));
  pair->peer = pair->server.Accept();
  EXPECT_TRUE(pair->peer.IsValidSocket());
  if (!bClientBlocking) {
    EXPECT_TRUE(pair->client.SetBlockMode(false));
  }
  return pair;
}

unsigned short LocalPort(const CBaseSocket& sock) {
  std::string strAddress;
  unsigned short nPort = 0;
  return sock.GetLocalPeerInfo(strAddress, nPort) ? nPort : 0;
}

bool WaitPending(SocketHandle hSocket, long nBytes) {
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  long nPending = -1;
  while ((nPending = SockPendingBytes(hSocket)) != nBytes) {
    if (std::chrono::steady_clock::now() > tEnd) {
      ADD_FAILURE() << "waited in vain for " << nBytes << " pending bytes, have " << nPending;
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
  return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}
