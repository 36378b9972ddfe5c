// CTcpServerSocket: construction failures, accepting, and the address list.
#include <gtest/gtest.h>

#include "LoopbackPair.h"
#include "base/sockets/SocketException.h"

TEST(TcpServerSocket, PortInUseThrowsBindMessage) {
  CTcpServerSocket first(0, 5, "127.0.0.1", false);
  try {
    CTcpServerSocket second(LocalPort(first), 5, "127.0.0.1", false);
    ADD_FAILURE() << "a second listener took the port";
    second.CloseSocket();
  } catch (const CSocketException& e) {
    EXPECT_EQ("Can not bind port!", e.What());
  }
  first.CloseSocket();
}

TEST(TcpServerSocket, NonBlockingListenerAcceptsNonBlockingConnections) {
  CTcpServerSocket server(0, 5, "127.0.0.1", false);
  ASSERT_TRUE(server.SetBlockMode(false));
  // Nothing pending: no socket, and the error only means "try again".
  EXPECT_FALSE(server.Accept().IsValidSocket());
  EXPECT_FALSE(CTcpServerSocket::HasAcceptError());

  CTcpSocket client(true);
  ASSERT_TRUE(client.Connect("127.0.0.1", LocalPort(server)));
  ASSERT_GT(server.CanReceive(5, 0), 0);
  CTcpSocket accepted = server.Accept();
  ASSERT_TRUE(accepted.IsValidSocket());
  // It inherited the non-blocking mode: a read with no data returns at once.
  char szBuf[4];
  EXPECT_EQ(-1, accepted.Receive(szBuf, sizeof szBuf));
  EXPECT_EQ(SOCK_ERR_WOULD_BLOCK, SockLastError());
  EXPECT_FALSE(CTcpSocket::HasSocketErr());
  accepted.CloseSocket();
  client.CloseSocket();
  server.CloseSocket();
}

TEST(TcpServerSocket, AcceptedPeerIsCheckedAgainstAllowOrRejectList) {
  auto pair = MakeLoopbackPair();
  std::string strPeer;
  unsigned short nPeerPort = 0;
  ASSERT_TRUE(pair->peer.GetRemoteInfo(strPeer, nPeerPort));
  EXPECT_EQ("127.0.0.1", strPeer);
  EXPECT_EQ(LocalPort(pair->client), nPeerPort);

  CTcpServerSocket& server = pair->server;
  EXPECT_TRUE(server.IsAllowIP(strPeer)) << "an empty list lets everyone in";
  server.AddIP(strPeer);
  server.SetAllowFlag(0);  // allow list
  EXPECT_TRUE(server.IsAllowIP(strPeer));
  EXPECT_FALSE(server.IsAllowIP("127.0.0.2"));
  server.SetAllowFlag(7);  // any other flag: reject list
  EXPECT_FALSE(server.IsAllowIP(strPeer));
  EXPECT_TRUE(server.IsAllowIP("127.0.0.2"));
  server.DeleteIP(strPeer);
  EXPECT_TRUE(server.IsAllowIP(strPeer));
}
