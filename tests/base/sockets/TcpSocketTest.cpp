// CTcpSocket against a real loopback peer.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "LoopbackPair.h"

namespace {

// Sends a 4-byte length (big-endian when bNet) followed by the body.
void SendFramed(CTcpSocket& peer, std::uint32_t nLength, bool bNet, const std::string& strBody) {
  const std::uint32_t nHeader = bNet ? SockHostToNet32(nLength) : nLength;
  std::string strMsg = std::string(reinterpret_cast<const char*>(&nHeader), 4) + strBody;
  unsigned nDone = 0;
  ASSERT_TRUE(peer.Send_n(strMsg.data(), static_cast<unsigned>(strMsg.size()), nDone));
}

}  // namespace

TEST(TcpSocketLoops, TimedSendToPeerThatDoesNotReadStopsWithPartialCount) {
  auto pair = MakeLoopbackPair(true);
  std::vector<char> vecData(16u << 20);
  for (size_t i = 0; i < vecData.size(); ++i) vecData[i] = static_cast<char>(i * 7 + i / 251);
  unsigned nSent = 0;
  EXPECT_FALSE(pair->client.Send_n_timeout(vecData.data(), unsigned(vecData.size()), 100, nSent));
  EXPECT_GT(nSent, 0u);
  EXPECT_LT(nSent, vecData.size());
  // The peer reads exactly the counted bytes of the pattern, then the end.
  EXPECT_EQ(0, pair->client.ShutDown(1));
  std::vector<char> vecGot(nSent + 1);
  unsigned nDone = 0;
  ASSERT_TRUE(pair->peer.Receive_n(vecGot.data(), nSent, nDone));
  EXPECT_EQ(0, std::memcmp(vecGot.data(), vecData.data(), nSent));
  EXPECT_FALSE(pair->peer.Receive_n(vecGot.data(), 1, nDone));
  EXPECT_EQ(0u, nDone);
}

TEST(TcpSocket, ReceiveGivesUpAfterIdleWaitsAndAClosedPeerFailsReceiveAndSendWithoutASignal) {
  auto pair = MakeLoopbackPair();
  char szBuf[10];
  ASSERT_EQ(2, pair->peer.Send("xy", 2));
  unsigned nGot = 0;
  EXPECT_FALSE(pair->client.Receive_n_timeout(szBuf, 4, 60, nGot));
  EXPECT_EQ(2u, nGot);
  // The peer is still there: the remaining bytes complete a second call.
  ASSERT_EQ(4, pair->peer.Send("ABCD", 4));
  EXPECT_TRUE(pair->client.Receive_n_timeout(szBuf, 4, 60, nGot));
  EXPECT_EQ(0, std::memcmp(szBuf, "ABCD", 4));
  ASSERT_EQ(5, pair->peer.Send("12345", 5));
  pair->peer.CloseSocket();
  EXPECT_FALSE(pair->client.Receive_n(szBuf, 10, nGot));
  EXPECT_EQ(5u, nGot);
  EXPECT_EQ(0, std::memcmp(szBuf, "12345", 5));
  // The first sends still succeed; once the peer's reset is back they fail.
  // A SIGPIPE would end the test program here.
  int nResult = 0;
  for (int i = 0; i < 100000 && nResult >= 0; ++i) {
    ASSERT_GT(pair->client.CanSend(5, 0), 0);
    nResult = pair->client.Send("x", 1);
    std::this_thread::yield();
  }
  EXPECT_EQ(-1, nResult);
  EXPECT_TRUE(CTcpSocket::HasSocketErr());
  char szA[] = "a";
  SocketBuf piece[1] = {{1, szA}};
  EXPECT_EQ(0u, pair->client.SendBufVec(piece, 1));
}

TEST(TcpSocketConnect, TimedConnectReachesListenerAndFailsOnClosedPort) {
  CTcpServerSocket server(0, 5, "127.0.0.1", false);
  bool bRun = true;
  CTcpSocket client(true);
  EXPECT_TRUE(client.Connect("localhost", LocalPort(server), 5, true, &bRun));
  CTcpSocket accepted = server.Accept();
  // Blocking again: a timed receive of 2 bytes sent in one piece succeeds.
  EXPECT_EQ(2, accepted.Send("ok", 2));
  char szBuf[2];
  EXPECT_EQ(2, client.ReceiveWithTimeout(szBuf, 2, 5, 0));
  accepted.CloseSocket();
  client.CloseSocket();
  server.CloseSocket();

  // A bound socket that does not listen keeps the port refused and ours.
  CTcpSocket holder(true), sock(true);
  ASSERT_TRUE(holder.Bind(0, "127.0.0.1"));
  EXPECT_FALSE(sock.Connect("127.0.0.1", LocalPort(holder), 5, true, nullptr));
  sock.CloseSocket();
  holder.CloseSocket();
}

TEST(TcpSocketMessages, LengthPrefixedAndTerminatedMessagesStayWithinTheBuffer) {
  auto pair = MakeLoopbackPair();
  char szBuf[64];
  unsigned nMsgLen = 0;
  // A length in host order that counts the header too: 64 is the largest that fits.
  SendFramed(pair->peer, 64, false, std::string(60, 'f'));
  EXPECT_TRUE(pair->client.AutoReceiveMsg(szBuf, sizeof szBuf, nMsgLen, true, false));
  EXPECT_EQ(64u, nMsgLen);
  EXPECT_EQ(std::string(szBuf + 4, 60), std::string(60, 'f'));
  // Refused (network order): lengths past the buffer, counting the header or
  // not; one below the header; one that wraps round when the header is added.
  // Each leaves the body unread.
  const std::pair<std::uint32_t, bool> refused[] = {
      {65, true}, {61, false}, {3, true}, {0xFFFFFFFDu, false}};
  for (const auto& [nLength, bIncludesHeader] : refused) {
    SendFramed(pair->peer, nLength, true, std::string(61, 't'));
    EXPECT_FALSE(pair->client.AutoReceiveMsg(szBuf, sizeof szBuf, nMsgLen, bIncludesHeader, true))
        << nLength;
    EXPECT_EQ(4u, nMsgLen);
    ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 61)) << nLength;
    ASSERT_TRUE(pair->client.Receive_n(szBuf, 61, nMsgLen));
  }
  // A buffer without room for the header reads nothing.
  SendFramed(pair->peer, 0, true, "");
  EXPECT_FALSE(pair->client.AutoReceiveMsg(szBuf, 3, nMsgLen, false, true));
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 4));
  ASSERT_TRUE(pair->client.Receive_n(szBuf, 4, nMsgLen));

  // Reading up to a terminator that starts in the held data and ends in the new data.
  char szStore[80] = "HELD\r\n";
  int nReceived = -1;
  char* pFound = nullptr;
  ASSERT_EQ(6, pair->peer.Send("\r\nrest", 6));
  EXPECT_TRUE(pair->client.ReadForTerminalStr(szStore + 6, 64, 5000, "\r\n\r\n", nReceived,
                                              szStore, pFound));
  EXPECT_EQ(6, nReceived);
  EXPECT_EQ(szStore + 4, pFound);
  // No terminator in a full buffer: the rest stays unread.
  ASSERT_EQ(10, pair->peer.Send("0123456789", 10));
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 10));
  EXPECT_FALSE(pair->client.ReadForTerminalStr(szStore, 8, 5000, "\n", nReceived, szStore, pFound));
  EXPECT_EQ(8, nReceived);
  EXPECT_EQ(2, SockPendingBytes(pair->client.m_hSocket));
}
