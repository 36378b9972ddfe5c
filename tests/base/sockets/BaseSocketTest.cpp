// The base socket layer: start-up flag, handle-less calls, addresses and the
// host queries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>

#include "LoopbackPair.h"
#include "tests/support/TestFiles.h"

TEST(BaseSocket, CleanupThenNewSocketStartsTheLibraryAgain) {
  EXPECT_TRUE(CBaseSocket::InitWinSock2());
  CBaseSocket::CleanupWinSock2();
  EXPECT_FALSE(CBaseSocket::s_bInitWinSock2);
  CTcpSocket sock(true);
  EXPECT_TRUE(CBaseSocket::s_bInitWinSock2);
  ASSERT_TRUE(sock.Bind(0));  // no address: any address
  std::string strAddress;
  unsigned short nPort = 0;
  ASSERT_TRUE(sock.GetLocalPeerInfo(strAddress, nPort));
  EXPECT_EQ("0.0.0.0", strAddress);
  EXPECT_NE(0, nPort);
  sock.CloseSocket();
}

TEST(BaseSocket, NoHandleFailsWithoutSystemCalls) {
  // A system call that failed would overwrite the last error.
  SockSetLastError(4242);
  CTcpSocket sock;
  std::string strAddress = "unchanged";
  unsigned short nPort = 7;
  char szBuf[16] = {};
  EXPECT_FALSE(sock.Bind(0));
  EXPECT_FALSE(sock.GetRemoteInfo(strAddress, nPort));
  EXPECT_EQ("unchanged", strAddress);
  EXPECT_EQ(-1, sock.Send(szBuf, 4));
  EXPECT_EQ(-1, sock.ReceiveWithTimeout(szBuf, 4, 0, 1000));
  EXPECT_FALSE(sock.Connect("127.0.0.1", 1, 1, true, nullptr));
  unsigned nDone = 99;
  EXPECT_FALSE(sock.Receive_n_timeout_ex(szBuf, 4, 100, nDone, {}));
  EXPECT_EQ(0u, nDone);
  int nReceived = 5;
  char* pFound = szBuf;
  EXPECT_FALSE(sock.ReadForTerminalStr(szBuf, 8, 100, "\n", nReceived, szBuf, pFound));
  EXPECT_EQ(nullptr, pFound);
  CTcpServerSocket server;
  EXPECT_FALSE(server.Accept().IsValidSocket());
  sock.CloseSocket();
  EXPECT_EQ(4242, SockLastError());
}

TEST(BaseSocket, CopiesNameOneSocketAndCloseNothing) {
  auto pair = MakeLoopbackPair();
  {
    CTcpSocket copy(pair->client), assigned;
    assigned = copy;
  }
  // Both copies are gone; the socket still carries data.
  EXPECT_EQ(2, pair->client.Send("hi", 2));
  char szBuf[2];
  unsigned nDone = 0;
  EXPECT_TRUE(pair->peer.Receive_n(szBuf, 2, nDone));
  EXPECT_EQ(0, std::memcmp(szBuf, "hi", 2));
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
  EXPECT_EQ(vecName, vecDashedName);
  for (size_t i = 1; i < vecMac.size(); ++i) {
    ASSERT_EQ(12u, vecMac[i].size());
    EXPECT_EQ(std::string::npos, vecMac[i].find_first_not_of("0123456789ABCDEF")) << vecMac[i];
    std::string strExpected;
    for (size_t j = 0; j < 12; j += 2) strExpected += (j ? "-" : "") + vecMac[i].substr(j, 2);
    EXPECT_EQ(strExpected, vecDashed[i]);
  }
#ifdef __linux__
  // The kernel's own list: every interface but loopback, with its address.
  std::map<std::string, std::string> mapExpected;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
    if (std::atoi(ReadFile(entry.path() / "type").c_str()) == 772) continue;  // ARPHRD_LOOPBACK
    std::string strMac;
    for (char c : ReadFile(entry.path() / "address")) {
      if (std::isxdigit(static_cast<unsigned char>(c))) strMac += static_cast<char>(std::toupper(c));
    }
    mapExpected[entry.path().filename().string()] = strMac.substr(0, 12);
  }
  std::map<std::string, std::string> mapListed;
  for (size_t i = 1; i < vecMac.size(); ++i) mapListed[vecName[i]] = vecMac[i];
  EXPECT_EQ(mapListed, mapExpected);
#endif
}
