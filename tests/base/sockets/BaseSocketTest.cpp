// The base socket layer: start-up flag, handle-less calls, addresses and the
// host queries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LoopbackPair.h"

TEST(BaseSocket, CleanupThenNewSocketStartsTheLibraryAgainAndNoHandleFailsWithoutSystemCalls) {
  EXPECT_TRUE(CBaseSocket::InitWinSock2());
  CBaseSocket::CleanupWinSock2();
  EXPECT_FALSE(CBaseSocket::s_bInitWinSock2);
  CTcpSocket started(true);
  EXPECT_TRUE(CBaseSocket::s_bInitWinSock2);
  EXPECT_TRUE(started.Bind(0));
  started.CloseSocket();

  // A system call that failed would overwrite the last error.
  SockSetLastError(4242);
  CTcpSocket sock;
  char szBuf[16] = {};
  EXPECT_FALSE(sock.Bind(0));
  EXPECT_EQ(-1, sock.Send(szBuf, 4));
  unsigned nDone = 99;
  EXPECT_FALSE(sock.Receive_n_timeout_ex(szBuf, 4, 100, nDone, {}));
  EXPECT_EQ(0u, nDone);
  CTcpServerSocket server;
  EXPECT_FALSE(server.Accept().IsValidSocket());
  sock.CloseSocket();
  EXPECT_EQ(4242, SockLastError());
}

TEST(BaseSocket, HostQueriesAppendToTheirLists) {
  EXPECT_FALSE(CBaseSocket::GetHostName().empty());
  std::vector<std::string> vecIP = {"kept"};
  CBaseSocket::GetHostAllIP("127.0.0.1", vecIP);
  EXPECT_THAT(vecIP, testing::ElementsAre("kept", "127.0.0.1"));

  std::vector<std::string> vecName = {"kept"}, vecMac = {"kept"};
  CBaseSocket::GetHostAllMac(vecName, vecMac, false);
  ASSERT_EQ(vecName.size(), vecMac.size());
  for (size_t i = 1; i < vecMac.size(); ++i) {
    EXPECT_EQ(12u, vecMac[i].size());
    EXPECT_EQ(std::string::npos, vecMac[i].find_first_not_of("0123456789ABCDEF")) << vecMac[i];
  }
}
