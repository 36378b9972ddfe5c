// The base socket layer: start-up flag, handle-less calls, addresses and the
// host queries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "LoopbackPair.h"
#include "base/sockets/RemotePeer.h"
#include "base/sockets/SocketException.h"

TEST(BaseSocket, StartUpFlagFollowsInitAndCleanup) {
  EXPECT_TRUE(CBaseSocket::InitWinSock2());
  EXPECT_TRUE(CBaseSocket::s_bInitWinSock2);
  EXPECT_TRUE(CBaseSocket::InitWinSock2());
  CBaseSocket::CleanupWinSock2();
  EXPECT_FALSE(CBaseSocket::s_bInitWinSock2);
  // Constructing a socket object starts the library again, and it works.
  CTcpSocket sock(true);
  EXPECT_TRUE(CBaseSocket::s_bInitWinSock2);
  EXPECT_TRUE(sock.IsValidSocket());
  sock.CloseSocket();
  EXPECT_FALSE(sock.IsValidSocket());
}

TEST(BaseSocket, NoHandleGivesDocumentedResultsWithoutSystemCalls) {
  // A system call that failed would overwrite the last error.
  SockSetLastError(4242);
  CTcpSocket sock;
  const SocketHandle hNone = INVALID_SOCKET_HANDLE;
  std::string strAddress = "unchanged";
  unsigned short nPort = 7;
  char szBuf[16] = {};
  EXPECT_FALSE(sock.IsValidSocket());
  EXPECT_FALSE(CBaseSocket::IsValidSocket(hNone));
  EXPECT_FALSE(sock.Bind(0));
  EXPECT_FALSE(CBaseSocket::Bind(hNone, 0, "127.0.0.1"));
  EXPECT_FALSE(sock.GetLocalPeerInfo(strAddress, nPort));
  EXPECT_FALSE(sock.GetRemoteInfo(strAddress, nPort));
  EXPECT_EQ("unchanged", strAddress);
  EXPECT_EQ(-1, sock.CanSend(0, 0, true));
  EXPECT_EQ(-1, CBaseSocket::CanReceive(hNone, 0, 0));
  EXPECT_EQ(-1, sock.Send(szBuf, 4));
  EXPECT_EQ(-1, sock.Send(std::string("abc")));
  EXPECT_EQ(-1, sock.Receive(szBuf, 4));
  EXPECT_EQ(-1, sock.ReceiveWithTimeout(szBuf, 4, 0, 1000));
  SocketBuf pieces[1] = {{4, szBuf}};
  EXPECT_EQ(0u, sock.SendBufVec(pieces, 1));
  EXPECT_EQ(0u, sock.ReceiveBufVec(pieces, 1));
  EXPECT_FALSE(sock.Connect("127.0.0.1", 1));
  EXPECT_FALSE(sock.Connect("127.0.0.1", 1, 1, true, nullptr));
  unsigned nDone = 99;
  EXPECT_FALSE(sock.Send_n(szBuf, 4, nDone));
  EXPECT_EQ(0u, nDone);
  nDone = 99;
  EXPECT_FALSE(sock.Receive_n_timeout_ex(szBuf, 4, 100, nDone, {}));
  EXPECT_EQ(0u, nDone);
  EXPECT_FALSE(sock.AutoReceiveMsg(szBuf, sizeof szBuf, nDone, true, true));
  int nReceived = 5;
  char* pFound = szBuf;
  EXPECT_FALSE(sock.ReadForTerminalStr(szBuf, 8, 100, "\n", nReceived, szBuf, pFound));
  EXPECT_EQ(0, nReceived);
  EXPECT_EQ(nullptr, pFound);
  CTcpServerSocket server;
  EXPECT_FALSE(server.Listen(5));
  EXPECT_FALSE(server.Accept().IsValidSocket());
  sock.SetNoLinger();
  sock.CloseSocket();
  EXPECT_EQ(4242, SockLastError());
}

TEST(BaseSocket, BindWithoutAddressTakesAnyAddress) {
  CTcpSocket sock(true);
  ASSERT_TRUE(sock.Bind(0));
  std::string strAddress;
  unsigned short nPort = 0;
  ASSERT_TRUE(sock.GetLocalPeerInfo(strAddress, nPort));
  EXPECT_EQ("0.0.0.0", strAddress);
  EXPECT_NE(0, nPort);
  sock.CloseSocket();
}

TEST(BaseSocket, CopiesNameOneSocketAndCloseNothing) {
  auto pair = MakeLoopbackPair();
  {
    CTcpSocket copy(pair->client);
    EXPECT_EQ(pair->client.m_hSocket, copy.m_hSocket);
    CTcpSocket assigned;
    assigned = pair->client;
    EXPECT_EQ(pair->client.m_hSocket, assigned.m_hSocket);
  }
  // Both copies are gone; the socket still carries data.
  EXPECT_EQ(2, pair->client.Send("hi", 2));
  char szBuf[2];
  unsigned nDone = 0;
  EXPECT_TRUE(pair->peer.Receive_n(szBuf, 2, nDone));
  EXPECT_EQ(0, std::memcmp(szBuf, "hi", 2));
}

TEST(RemotePeer, KeepsAddressAndPortInNetworkOrder) {
  const CRemotePeer empty;
  EXPECT_EQ(16, empty.m_nAddrLen);
  EXPECT_EQ(0u, empty.m_stAddr.nAddr);
  EXPECT_EQ(0, empty.m_stAddr.nPort);

  const CRemotePeer peer("10.1.2.3", 8080);
  EXPECT_EQ(16, peer.m_nAddrLen);
  EXPECT_EQ(SOCK_AF_INET, peer.m_stAddr.nFamily);
  unsigned char szPort[2];
  std::memcpy(szPort, &peer.m_stAddr.nPort, 2);
  EXPECT_EQ(0x1F, szPort[0]);
  EXPECT_EQ(0x90, szPort[1]);
  CRemotePeer copy;
  copy = peer;
  std::string strAddress;
  unsigned short nPort = 0;
  copy.GetPeerInfo(strAddress, nPort);
  EXPECT_EQ("10.1.2.3", strAddress);
  EXPECT_EQ(8080, nPort);
}

TEST(SocketException, CarriesItsMessage) {
  EXPECT_EQ("Unknown Exception!", CSocketException().What());
  const CLocalSocketException local("boom");
  CSocketException copy = local;
  EXPECT_EQ("boom", copy.What());
  try {
    throw CLocalSocketException("local");
  } catch (const CSocketException& e) {
    EXPECT_EQ("local", e.What());
  }
}

TEST(BaseSocket, HostQueriesAppendToTheirLists) {
  EXPECT_FALSE(CBaseSocket::GetHostName().empty());

  std::vector<std::string> vecIP = {"kept"};
  CBaseSocket::GetHostAllIP("127.0.0.1", vecIP);
  EXPECT_THAT(vecIP, testing::ElementsAre("kept", "127.0.0.1"));

  std::vector<std::string> vecName = {"kept"}, vecMac = {"kept"};
  std::vector<std::string> vecDashedName = {"kept"}, vecDashed = {"kept"};
  CBaseSocket::GetHostAllMac(vecName, vecMac, false);
  CBaseSocket::GetHostAllMac(vecDashedName, vecDashed, true);
  ASSERT_EQ(vecName.size(), vecMac.size());
  ASSERT_EQ(vecMac.size(), vecDashed.size());
  EXPECT_EQ("kept", vecMac[0]);
  EXPECT_EQ(vecName, vecDashedName);
  for (size_t i = 1; i < vecMac.size(); ++i) {
    ASSERT_EQ(12u, vecMac[i].size());
    EXPECT_EQ(std::string::npos, vecMac[i].find_first_not_of("0123456789ABCDEF")) << vecMac[i];
    std::string strExpected;
    for (size_t j = 0; j < 12; j += 2)
      strExpected += (j ? "-" : "") + vecMac[i].substr(j, 2);
    EXPECT_EQ(strExpected, vecDashed[i]);
  }
}
