// CTcpSocket against a real loopback peer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "LoopbackPair.h"

namespace {

std::vector<char> Pattern(size_t nLen) {
  std::vector<char> vecData(nLen);
  for (size_t i = 0; i < nLen; ++i) vecData[i] = static_cast<char>(i * 7 + i / 251);
  return vecData;
}

void StoreFalse(bool* pbFlag) { __atomic_store_n(pbFlag, false, __ATOMIC_RELEASE); }

// The sender shuts down; the peer must then read exactly the counted bytes of
// the pattern, in order, and then the end of the stream.
void ExpectPatternPrefixThenEnd(LoopbackPair& pair, const std::vector<char>& vecData,
                                unsigned nExpected) {
  EXPECT_EQ(0, pair.client.ShutDown(1));
  std::vector<char> vecGot(nExpected + 1);
  unsigned nDone = 0;
  ASSERT_TRUE(pair.peer.Receive_n(vecGot.data(), nExpected, nDone));
  EXPECT_EQ(0, std::memcmp(vecGot.data(), vecData.data(), nExpected));
  EXPECT_FALSE(pair.peer.Receive_n(vecGot.data(), 1, nDone));
  EXPECT_EQ(0u, nDone);
}

// Sends a 4-byte length (big-endian when bNet) followed by the body.
void SendFramed(CTcpSocket& peer, std::uint32_t nLength, bool bNet, const std::string& strBody) {
  const std::uint32_t nHeader = bNet ? SockHostToNet32(nLength) : nLength;
  std::string strMsg = std::string(reinterpret_cast<const char*>(&nHeader), 4) + strBody;
  unsigned nDone = 0;
  ASSERT_TRUE(peer.Send_n(strMsg.data(), static_cast<unsigned>(strMsg.size()), nDone));
}

}  // namespace

TEST(TcpSocketLoops, TimedSendToPeerThatDoesNotReadStopsWithPartialCount) {
  for (bool bBlocking : {false, true}) {
#ifdef _WIN32
    // Windows has no per-call non-blocking send: a blocking socket blocks in
    // send once the peer stops reading, so the loops need a non-blocking one.
    if (bBlocking) continue;
#endif
    SCOPED_TRACE(bBlocking ? "blocking" : "non-blocking");
    auto pair = MakeLoopbackPair(4096, bBlocking);
    const std::vector<char> vecData = Pattern(16u << 20);
    unsigned nSent = 0;
    EXPECT_FALSE(
        pair->client.Send_n_timeout(vecData.data(), unsigned(vecData.size()), 100, nSent));
    EXPECT_GT(nSent, 0u);
    EXPECT_LT(nSent, vecData.size());
    ExpectPatternPrefixThenEnd(*pair, vecData, nSent);
  }
}

TEST(TcpSocketLoops, SendStopsWhenAnotherThreadClearsTheFlag) {
  auto pair = MakeLoopbackPair(4096, false);
  const std::vector<char> vecData = Pattern(16u << 20);
  bool bRun = true, bResult = true;
  unsigned nSent = 0;
  std::thread sender([&] {
    bResult = pair->client.Send_n_ex(vecData.data(), unsigned(vecData.size()), nSent,
                                     {nullptr, &bRun});
  });
  // Once bytes arrive the untimed loop is running; it has no other way out.
  const auto tStart = std::chrono::steady_clock::now();
  while (SockPendingBytes(pair->peer.m_hSocket) <= 0 &&
         std::chrono::steady_clock::now() - tStart < std::chrono::seconds(20))
    std::this_thread::yield();
  StoreFalse(&bRun);
  sender.join();
  EXPECT_FALSE(bResult);
  EXPECT_GT(nSent, 0u);
  ExpectPatternPrefixThenEnd(*pair, vecData, nSent);
}

TEST(TcpSocketLoops, ReceiveStopsWithinOneWaitWhenTheFlagIsCleared) {
  auto pair = MakeLoopbackPair();
  char szBuf[8];
  unsigned nGot = 0;
  ASSERT_EQ(4, pair->peer.Send("abcd", 4));
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 4));
  bool bRun = true, bResult = true;
  std::thread reader(
      [&] { bResult = pair->client.Receive_n_timeout(szBuf, 8, 60000, nGot, &bRun); });
  // The loop has taken the four bytes: it is waiting for the rest.
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 0));
  const auto tCleared = std::chrono::steady_clock::now();
  StoreFalse(&bRun);
  reader.join();
  EXPECT_FALSE(bResult);
  EXPECT_EQ(4u, nGot);
  EXPECT_EQ(0, std::memcmp(szBuf, "abcd", 4));
  // Far below the 60 s time-out: the flag ended the loop.
  EXPECT_LT(std::chrono::steady_clock::now() - tCleared, std::chrono::seconds(30));
}

TEST(TcpSocketLoops, ReceiveGivesUpAfterIdleWaitsAndFailsWhenPeerClosesMidMessage) {
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
}

TEST(TcpSocket, NoLingerResetsTheConnectionOnClose) {
  auto pair = MakeLoopbackPair();
  pair->client.SetNoLinger();
  pair->client.CloseSocket();
  ASSERT_GT(pair->peer.CanReceive(5, 0), 0);
  char szBuf[4];
  const int nGot = pair->peer.Receive(szBuf, sizeof szBuf);
  if (nGot == 0 && RunningUnderWine())
    GTEST_SKIP() << "Wine keeps SO_LINGER to itself and closes gracefully instead of resetting";
  EXPECT_EQ(-1, nGot);
  EXPECT_EQ(10054, SockLastError());
  EXPECT_TRUE(CTcpSocket::HasSocketErr());
}

TEST(TcpSocket, SendingToAClosedPeerFailsWithoutASignal) {
  auto pair = MakeLoopbackPair();
  pair->peer.CloseSocket();
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
  for (const char* szHost : {"127.0.0.1", "localhost"}) {
    bool bRun = true;
    CTcpSocket client(true);
    EXPECT_TRUE(client.Connect(szHost, LocalPort(server), 5, true, &bRun)) << szHost;
    CTcpSocket accepted = server.Accept();
    // Blocking again: a timed receive of 2 bytes sent in one piece succeeds.
    EXPECT_EQ(2, accepted.Send("ok", 2));
    char szBuf[2];
    EXPECT_EQ(2, client.ReceiveWithTimeout(szBuf, 2, 5, 0));
    accepted.CloseSocket();
    client.CloseSocket();
  }
  server.CloseSocket();

  // A bound socket that does not listen keeps the port refused and ours.
  CTcpSocket holder(true);
  ASSERT_TRUE(holder.Bind(0, "127.0.0.1"));
  const unsigned short nPort = LocalPort(holder);
  bool bRun = true;
  for (bool* pbRun : {static_cast<bool*>(nullptr), &bRun}) {
    CTcpSocket sock(true);
    EXPECT_FALSE(sock.Connect("127.0.0.1", nPort, pbRun ? 0 : 5, true, pbRun));
    sock.CloseSocket();
  }
  // The failed attempt makes the socket writable, yet the error check says -1.
  CTcpSocket raw(true);
  ASSERT_TRUE(raw.SetBlockMode(false));
  EXPECT_FALSE(raw.Connect("127.0.0.1", nPort));
  EXPECT_EQ(SOCK_ERR_WOULD_BLOCK, SockLastError());
  EXPECT_FALSE(CTcpSocket::HasSocketErr());
  EXPECT_GT(raw.CanSend(5, 0, false), 0);
  EXPECT_EQ(-1, raw.CanSend(5, 0, true));
  raw.CloseSocket();
  holder.CloseSocket();
}

TEST(TcpSocketMessages, LengthPrefixInBothConventionsAndLengthsThatDoNotFitAreRefused) {
  auto pair = MakeLoopbackPair();
  char szBuf[64];
  unsigned nMsgLen = 0;
  const struct {
    std::uint32_t nLength;
    bool bIncludesHeader, bNet;
    std::string strBody;
  } cases[] = {
      {10, false, true, "0123456789"},  // counts the body only
      {10, true, true, "abcdef"},       // counts the header too
      {3, false, false, "xyz"},         // host order
      {4, true, true, ""},              // empty body
      {64, true, true, std::string(60, 'f')},  // the largest that fit
      {60, false, true, std::string(60, 'g')},
  };
  for (const auto& c : cases) {
    SendFramed(pair->peer, c.nLength, c.bNet, c.strBody);
    EXPECT_TRUE(
        pair->client.AutoReceiveMsg(szBuf, sizeof szBuf, nMsgLen, c.bIncludesHeader, c.bNet))
        << c.strBody;
    EXPECT_EQ(4 + c.strBody.size(), nMsgLen);
    EXPECT_EQ(0, std::memcmp(szBuf + 4, c.strBody.data(), c.strBody.size()));
  }

  const std::string strTail(100, 't');
  // Refused lengths: each leaves the following bytes unread.
  const struct {
    std::uint32_t nLength;
    bool bIncludesHeader;
  } refused[] = {{3, true}, {65, true}, {61, false}, {0xFFFFFFFFu, false}, {0xFFFFFFFDu, false}};
  for (const auto& c : refused) {
    SendFramed(pair->peer, c.nLength, true, strTail);
    EXPECT_FALSE(pair->client.AutoReceiveMsg(szBuf, sizeof szBuf, nMsgLen, c.bIncludesHeader, true))
        << c.nLength;
    EXPECT_EQ(4u, nMsgLen);
    ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 100)) << c.nLength;
    unsigned nGot = 0;
    char szTail[100];
    ASSERT_TRUE(pair->client.Receive_n(szTail, 100, nGot));
  }
  // A buffer without room for the header reads nothing.
  SendFramed(pair->peer, 0, true, "");
  EXPECT_FALSE(pair->client.AutoReceiveMsg(szBuf, 3, nMsgLen, false, true));
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 4));
  ASSERT_TRUE(pair->client.Receive_n(szBuf, 4, nMsgLen));
  // A body cut short by the peer closing reports what arrived.
  SendFramed(pair->peer, 10, true, "abc");
  pair->peer.CloseSocket();
  EXPECT_FALSE(pair->client.AutoReceiveMsg(szBuf, sizeof szBuf, nMsgLen, false, true));
  EXPECT_EQ(7u, nMsgLen);
}

TEST(TcpSocketTerminal, TerminatorSplitAcrossTwoReadsIsFound) {
  auto pair = MakeLoopbackPair();
  ASSERT_EQ(7, pair->peer.Send("HEAD\r\n\r", 7));
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 7));
  char szBuf[65];
  int nReceived = -1;
  char* pFound = nullptr;
  bool bResult = false;
  std::thread reader([&] {
    bResult = pair->client.ReadForTerminalStr(szBuf, 64, 10000, "\r\n\r\n", nReceived, szBuf,
                                              pFound);
  });
  // The first read has taken the first part; only then does the rest follow.
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 0));
  ASSERT_EQ(5, pair->peer.Send("\nTAIL", 5));
  reader.join();
  ASSERT_TRUE(bResult);
  EXPECT_EQ(12, nReceived);
  EXPECT_EQ(szBuf + 4, pFound);
  EXPECT_STREQ("HEAD\r\n\r\nTAIL", szBuf);
}

TEST(TcpSocketTerminal, HeldDataFirstThenTimeOutOrFullBufferAndBinaryTerminators) {
  auto pair = MakeLoopbackPair();
  char szStore[80] = "HELD\r\n";
  int nReceived = -1;
  char* pFound = nullptr;
  // The terminator starts in the held data and ends in the new data.
  ASSERT_EQ(6, pair->peer.Send("\r\nrest", 6));
  EXPECT_TRUE(pair->client.ReadForTerminalStr(szStore + 6, 64, 5000, "\r\n\r\n", nReceived,
                                              szStore, pFound));
  EXPECT_EQ(6, nReceived);
  EXPECT_EQ(szStore + 4, pFound);
  // A search start after the buffer is refused.
  EXPECT_FALSE(pair->client.ReadForTerminalStr(szStore, 8, 50, ";", nReceived, szStore + 1, pFound));
  // Nothing arrives: a time-out.
  EXPECT_FALSE(pair->client.ReadForTerminalStr(szStore, 8, 60, "\n", nReceived, szStore, pFound));
  EXPECT_EQ(0, nReceived);
  EXPECT_EQ(nullptr, pFound);
  // No terminator in a full buffer: the rest stays unread.
  ASSERT_EQ(10, pair->peer.Send("0123456789", 10));
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 10));
  EXPECT_FALSE(pair->client.ReadForTerminalStr(szStore, 8, 5000, "\n", nReceived, szStore, pFound));
  EXPECT_EQ(8, nReceived);
  EXPECT_EQ(2, SockPendingBytes(pair->client.m_hSocket));
  unsigned nGot = 0;
  ASSERT_TRUE(pair->client.Receive_n(szStore, 2, nGot));

  // A binary terminator with zero bytes.
  const unsigned char szTerm[] = {0x00, 0xFF, 0x00};
  const unsigned char szData[] = {'a', 0x00, 'b', 0x00, 0xFF, 0x00, 'z'};
  ASSERT_EQ(7, pair->peer.Send(reinterpret_cast<const char*>(szData), 7));
  ASSERT_TRUE(WaitPending(pair->client.m_hSocket, 7));
  unsigned char szBuf[32];
  int nOffset = 99;
  nReceived = -1;
  ASSERT_TRUE(pair->client.ReadForTerminalBytes(szBuf, 32, 10000, szTerm, 3, nReceived, szBuf,
                                                nOffset));
  EXPECT_EQ(7, nReceived);
  EXPECT_EQ(3, nOffset);
  // Found in held data: the offset is negative.
  EXPECT_TRUE(pair->client.ReadForTerminalBytes(szBuf + 7, 8, 50, szTerm, 3, nReceived, szBuf + 2,
                                                nOffset));
  EXPECT_EQ(-4, nOffset);
}
