// CTcpServerSocket: construction failures, accepting, and the address list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LoopbackPair.h"
#include "base/sockets/SocketException.h"

TEST(TcpServerSocket, PortInUseThrowsBindMessage) {
  CTcpServerSocket first(0, 5, "127.0.0.1", false);
  std::string strAddress;
  unsigned short nPort = 0;
  ASSERT_TRUE(first.GetLocalPeerInfo(strAddress, nPort));
  EXPECT_EQ("127.0.0.1", strAddress);
  try {
    CTcpServerSocket second(nPort, 5, "127.0.0.1", false);
    ADD_FAILURE() << "a second listener took the port";
    second.CloseSocket();
  } catch (const CSocketException& e) {
    EXPECT_EQ("Can not bind port!", e.What());
  }
  first.CloseSocket();
}

TEST(TcpServerSocket, AcceptedPeerIsCheckedAgainstTheList) {
  auto pair = MakeLoopbackPair();
  std::string strPeer, strClient;
  unsigned short nPeerPort = 0, nClientPort = 0;
  ASSERT_TRUE(pair->peer.GetRemoteInfo(strPeer, nPeerPort));
  ASSERT_TRUE(pair->client.GetLocalPeerInfo(strClient, nClientPort));
  EXPECT_EQ("127.0.0.1", strPeer);
  EXPECT_EQ(nClientPort, nPeerPort);

  CTcpServerSocket& server = pair->server;
  EXPECT_TRUE(server.IsAllowIP(strPeer));  // empty list
  server.AddIP("127.0.0.1");
  EXPECT_TRUE(server.IsAllowIP(strPeer));  // allow list
  server.SetAllowFlag(1);
  EXPECT_FALSE(server.IsAllowIP(strPeer));  // reject list
  server.DeleteIP("127.0.0.1");
  EXPECT_TRUE(server.IsAllowIP(strPeer));
}

TEST(TcpServerSocket, NonBlockingListenerAcceptsNonBlockingConnections) {
  CTcpServerSocket server(0, 5, "127.0.0.1", false);
  ASSERT_TRUE(server.SetBlockMode(false));
  // Nothing pending: no socket, and the error only means "try again".
  CTcpSocket none = server.Accept();
  EXPECT_FALSE(none.IsValidSocket());
  EXPECT_FALSE(CTcpServerSocket::HasAcceptError());

  std::string strAddress;
  unsigned short nPort = 0;
  ASSERT_TRUE(server.GetLocalPeerInfo(strAddress, nPort));
  CTcpSocket client(true);
  ASSERT_TRUE(client.Connect("127.0.0.1", nPort));
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

TEST(TcpServerSocket, AllowAndRejectListTable) {
  CTcpServerSocket server;
  for (int nFlag : {0, 1, 7}) {
    server.SetAllowFlag(nFlag);
    EXPECT_TRUE(server.IsAllowIP("10.0.0.1")) << nFlag;
  }
  server.AddIP("127.0.0.1");
  server.SetAllowFlag(0);
  EXPECT_TRUE(server.IsAllowIP("127.0.0.1"));
  EXPECT_FALSE(server.IsAllowIP("127.0.0.2"));
  EXPECT_FALSE(server.IsAllowIP("127.0.0.1 "));
  for (int nFlag : {1, 7}) {
    server.SetAllowFlag(nFlag);
    EXPECT_FALSE(server.IsAllowIP("127.0.0.1"));
    EXPECT_TRUE(server.IsAllowIP("127.0.0.2"));
  }
}

TEST(TcpServerSocket, ListEditingAndCopies) {
  CTcpServerSocket server;
  for (const char* szIP : {"1.1.1.1", "2.2.2.2", "2.2.2.2", "2.2.2.2", "3.3.3.3"}) server.AddIP(szIP);
  server.DeleteIP("2.2.2.2");
  EXPECT_THAT(server.m_vecIP, testing::ElementsAre("1.1.1.1", "3.3.3.3"));
  server.SetAllowFlag(1);

  CTcpServerSocket copy(server);
  EXPECT_EQ(1, copy.m_nAllowFlag);
  EXPECT_EQ(server.m_vecIP, copy.m_vecIP);
  CTcpServerSocket assigned;
  assigned = server;
  EXPECT_EQ(server.m_vecIP, assigned.m_vecIP);

  testing::internal::CaptureStdout();
  server.ShowIP();
  server.SetAllowFlag(0);
  server.ShowIP();
  server.SetAllowFlag(5);
  server.ShowIP();
  EXPECT_EQ(
      "The reject ip address list:\n1.1.1.1\n3.3.3.3\n"
      "The allow ip address list:\n1.1.1.1\n3.3.3.3\n"
      "1.1.1.1\n3.3.3.3\n",
      testing::internal::GetCapturedStdout());

  server.ClearIP();
  EXPECT_TRUE(server.m_vecIP.empty());
}
