#include "LoopbackPair.h"

#include <gtest/gtest.h>

LoopbackPair::~LoopbackPair() {
  client.CloseSocket();
  peer.CloseSocket();
  server.CloseSocket();
}

std::unique_ptr<LoopbackPair> MakeLoopbackPair(bool bStallingClient) {
  auto pair = std::make_unique<LoopbackPair>();
  EXPECT_TRUE(pair->server.CreateSocket(false));
  EXPECT_TRUE(pair->client.CreateSocket(false));
  if (bStallingClient) {
    // Set on the listener before listening: the accepted socket inherits it.
    const int nBufBytes = 4096;
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
  EXPECT_TRUE(!bStallingClient || pair->client.SetBlockMode(false));
  return pair;
}

unsigned short LocalPort(const CBaseSocket& sock) {
  std::string strAddress;
  unsigned short nPort = 0;
  return sock.GetLocalPeerInfo(strAddress, nPort) ? nPort : 0;
}
