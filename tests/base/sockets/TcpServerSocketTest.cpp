// CTcpServerSocket: construction failures, accepting, and the address list.
#include <gtest/gtest.h>

#include "LoopbackPair.h"
#include "base/sockets/SocketException.h"

TEST(TcpServerSocket, PortInUseThrowsBindMessageAndAcceptedPeerIsCheckedAgainstAllowOrRejectList) {
  auto pair = MakeLoopbackPair();
  try {
    CTcpServerSocket second(LocalPort(pair->server), 5, "127.0.0.1", false);
    ADD_FAILURE() << "a second listener took the port";
    second.CloseSocket();
  } catch (const CSocketException& e) {
    EXPECT_EQ("Can not bind port!", e.What());
  }
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
