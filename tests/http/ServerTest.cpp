// The listener and its connections, end to end over loopback sockets, with
// the dispatcher's test double behind them.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/sockets/TcpServerSocket.h"
#include "base/system/Clock.h"
#include "http/ConnTracker.h"
#include "http/HttpExchange.h"
#include "http/TolvanServer.h"
#include "tests/http/FakeApiHandler.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/ProcessLogFiles.h"
#include "tests/support/TempDir.h"

namespace {

std::string Expected(const std::string& strJson) {
  const std::string strBody = "\r\n\r\n" + strJson + "\r\n\r\n";
  return "HTTP/1.1 200 OK\r\nDate: *\r\nServer: Tolvan Server\r\nAccess-Control-Allow-Origin:*\r\n"
         "Content-Length: " + std::to_string(strBody.size()) +
         "\r\nConnection: close\r\nContent-Type: text/json; charset=utf-8\r\n\r\n" + strBody;
}

std::string EchoBody(const std::string& strData) {
  return "\r\n\r\n{\"outData\":\"" + strData + "\",\"return\":\"0\"}\r\n\r\n";
}

// A server on the given address and first port, answering with the test double.
std::unique_ptr<CTolvanServer> MakeServer(const std::string& strIP, uint16_t nPort) {
  CServerSettings settings;
  settings.m_strIP = strIP;
  settings.m_nPort = nPort;
  settings.m_nDebugLevel = 3;
  auto pServer = std::make_unique<CTolvanServer>(settings);
  pServer->SetRequestHandler(FakeApiHandler::Handle);
  return pServer;
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override { FakeApiHandler::Reset(); }
  void TearDown() override {
    m_pServer.reset();
    CloseProcessLog();  // the log file lives in the temporary directory
  }

  // A server listening on a free loopback port.
  void StartServer(unsigned nMaxServed = kMaxServedConnections, unsigned nCloseDelayMs = kCloseDelayMs,
                   unsigned nMaxClosing = kMaxClosingConnections) {
    LogTo(m_dir.Path());
    m_pServer = MakeServer("127.0.0.1", 0);
    m_pServer->SetServeLimits(nMaxServed, nCloseDelayMs, nMaxClosing);
    ASSERT_TRUE(m_pServer->Start());
    ASSERT_TRUE(m_pServer->WaitListening(10000));
    m_nPort = m_pServer->GetListenPort();
  }

  // Sends one request on a new connection and returns the whole response.
  std::string Exchange(const std::string& strRequest) {
    CLoopbackClient client(m_nPort);
    EXPECT_TRUE(client.IsConnected());
    EXPECT_TRUE(client.SendAll(strRequest));
    return WithoutDate(client.ReadResponse());
  }

  // Sends a request (or its first nSend bytes, then ends the sending side)
  // and expects the connection to end without any response.
  void ExpectRefused(const std::string& strRequest, size_t nSend = std::string::npos) {
    CLoopbackClient client(m_nPort);
    ASSERT_TRUE(client.IsConnected());
    client.SendAll(strRequest.substr(0, nSend));  // the server may reset before it all went
    if (nSend != std::string::npos) client.ShutdownSend();
    EXPECT_TRUE(client.WaitEnded()) << strRequest.substr(0, 100);
    EXPECT_EQ(client.Partial(), "") << strRequest.substr(0, 100);
  }

  CTempDir m_dir{"tolvan-http"};
  std::unique_ptr<CTolvanServer> m_pServer;
  uint16_t m_nPort = 0;
};

TEST_F(ServerTest, PostAndGetAreAnsweredByteForByte) {
  StartServer();
  EXPECT_EQ(Exchange(MakePost("Fun=echo&data=AB")), Expected("{\"outData\":\"AB\",\"return\":\"0\"}"));
  EXPECT_EQ(Exchange(MakeGet("Fun=keys")), Expected("{\"Zeta\":\"1\",\"alpha\":\"2\",\"return\":\"0\"}"));
  EXPECT_EQ(Exchange(MakeGet("Fun=nothing")), Expected("{\"return\":\"-10000\"}"));
  EXPECT_EQ(FakeApiHandler::CallCount(), 3);

  Exchange(MakePost("Fun=echo&data=x+y%2Bz%41&name%20=1&data2=%C4%E3&&empty="));
  const RequestParams expected = {{"", ""},       {"Fun", "echo"},     {"data", "x y+zA"},
                                  {"data2", "\xC4\xE3"}, {"empty", ""}, {"name%20", "1"}};
  EXPECT_EQ(FakeApiHandler::LastRequest(), expected);
}

TEST_F(ServerTest, KeyPasswordsNeverReachTheLog) {
  StartServer();
  Exchange(MakePost("Fun=echo&label=k1&keyPasswd=s3cr%65t&data=AB&passwd=hunter2&keyPasswdX=shown"));
  EXPECT_EQ(FakeApiHandler::LastRequest().at("keyPasswd"), "s3cret");
  EXPECT_EQ(FakeApiHandler::LastRequest().at("passwd"), "hunter2");
  const std::string strLog = ReadProcessLog(m_dir.Path());
  EXPECT_NE(strLog.find("label=k1&keyPasswd=***&data=AB&passwd=***&keyPasswdX=shown"),
            std::string::npos)
      << strLog;
  EXPECT_EQ(strLog.find("s3cr"), std::string::npos);
  EXPECT_EQ(strLog.find("hunter2"), std::string::npos);
}

TEST_F(ServerTest, ResponsesAreLoggedWholeOrCutAt2047Bytes) {
  StartServer();
  const std::string strSmall = Exchange(MakeGet("Fun=echo&data=small"));
  CLoopbackClient client(m_nPort);
  ASSERT_TRUE(client.SendAll(MakeGet("Fun=big&size=3000")));
  const std::string strBig = client.ReadResponse();
  ASSERT_GT(strBig.size(), 2047u);
  m_pServer.reset();  // every connection has logged
  const std::string strLog = ReadProcessLog(m_dir.Path());
  const std::string strPrefix = "] Send Client ";
  std::vector<std::string> vecLogged;
  for (size_t nPos = strLog.find(strPrefix); nPos != std::string::npos;
       nPos = strLog.find(strPrefix, nPos + 1)) {
    const size_t nText = strLog.find(" Response:\n", nPos);
    ASSERT_NE(nText, std::string::npos);
    vecLogged.push_back(strLog.substr(nText + 11));
  }
  ASSERT_EQ(vecLogged.size(), 2u) << strLog;
  // Small: the whole response, then the format's own line end.
  const std::string strSmallSent = strSmall.substr(0, strSmall.find("Date: "));
  EXPECT_EQ(vecLogged[0].substr(0, strSmallSent.size()), strSmallSent);
  const size_t nBody = strSmall.find("\r\n\r\n{");
  EXPECT_NE(vecLogged[0].find(strSmall.substr(nBody) + "\n"), std::string::npos);
  // Big: its first 2,047 bytes and the line end.
  EXPECT_EQ(vecLogged[1].substr(0, 2048), strBig.substr(0, 2047) + "\n");
}

TEST_F(ServerTest, UnroutableMalformedShortOrEndedRequestsGetNoResponse) {
  StartServer(kMaxServedConnections, 10);
  ExpectRefused(MakePost("data=no-function-named-here&padding=xxxxxxxxxxxxxxxxxxxxxxx"));
  ExpectRefused(MakePost(""));
  ExpectRefused("PUT /Tolvan HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nContent-Length: 7\r\n"
                "Content-Type: text/plain\r\n\r\nFun=abc");
  ExpectRefused("GET /Tolvan?Fun=echo HTTP/1.0\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\n"
                "User-Agent: test\r\n\r\n");
  // Announced beyond the maximum; and a request whose client ends it early.
  ExpectRefused(MakePost("Fun=echo&data=" + std::string(kMaxRequestSize, 'm')), 200);
  const std::string strPost = MakePost("Fun=echo&data=" + std::string(200, 'e'));
  ExpectRefused(strPost, strPost.size() - 1);
  EXPECT_EQ(FakeApiHandler::CallCount(), 0);

  // The same request padded to 99 and to 100 bytes in all.
  const std::string strHead = "POST /Tolvan HTTP/1.1\r\nContent-Length: 54\r\n\r\nFun=echo&data=";
  ExpectRefused(strHead + std::string(99 - strHead.size(), 'p'));
  EXPECT_NE(Exchange(strHead + std::string(100 - strHead.size(), 'p')), "");
  EXPECT_EQ(FakeApiHandler::CallCount(), 1);
}

TEST_F(ServerTest, BodySplitAcrossTwoSendsIsAnswered) {
  StartServer();
  const std::string strRequest = MakePost("Fun=echo&data=" + std::string(300, 's'));
  const size_t nSplit = strRequest.find("\r\n\r\n") + 4 + 10;
  CLoopbackClient client(m_nPort);
  ASSERT_TRUE(client.SendAll(strRequest.substr(0, nSplit)));
  EXPECT_FALSE(client.Readable(200));  // nothing may come back for the first part alone
  ASSERT_TRUE(client.SendAll(strRequest.substr(nSplit)));
  EXPECT_EQ(ResponseBody(client.ReadResponse()), EchoBody(std::string(300, 's')));
}

TEST_F(ServerTest, LargeRequestsAndResponsesGoWhole) {
  StartServer();
  const std::string strData(64 * 1024, 'a');
  EXPECT_EQ(ResponseBody(Exchange(MakePost("Fun=echo&data=" + strData))), EchoBody(strData));
  // Several MiB: the server has to wait for the client to make room.
  EXPECT_EQ(ResponseBody(Exchange(MakeGet("Fun=big&size=3000000"))).size(), 3000000u + 35u);
}

TEST_F(ServerTest, ServedConnectionIsResetAfterItsPause) {
  StartServer();
  CLoopbackClient client(m_nPort);
  ASSERT_TRUE(client.SendAll(MakeGet("Fun=echo&data=1")));
  ASSERT_NE(client.ReadResponse(), "");
  const uint64_t nAnswered = GetTickCountMs();
  EXPECT_TRUE(client.WaitEnded());
  // The pause runs from the hand-over of the response, which came first.
  EXPECT_GE(GetTickCountMs() - nAnswered, kCloseDelayMs - 100);
}

TEST_F(ServerTest, OldestClosingConnectionGoesFirstWhenTooManyWait) {
  // A pause far longer than the test: only the bound can end the first.
  StartServer(kMaxServedConnections, 600000, 1);
  CLoopbackClient first(m_nPort);
  ASSERT_TRUE(first.SendAll(MakeGet("Fun=echo&data=1")));
  ASSERT_NE(first.ReadResponse(), "");
  // The response can arrive before its connection reaches the closer: only
  // once the first waits there is it the oldest.
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->ClosingCount() == 1; }, 10000));
  CLoopbackClient second(m_nPort);
  ASSERT_TRUE(second.SendAll(MakeGet("Fun=echo&data=2")));
  ASSERT_NE(second.ReadResponse(), "");
  EXPECT_TRUE(first.WaitEnded(10000));
  EXPECT_FALSE(second.Readable(100));  // still waiting for its pause
}

TEST_F(ServerTest, ManyClientsAtOnce) {
  StartServer();
  std::vector<std::unique_ptr<CLoopbackClient>> vecClients;
  for (int i = 0; i < 40; ++i) {
    vecClients.push_back(std::make_unique<CLoopbackClient>(m_nPort));
    ASSERT_TRUE(vecClients.back()->SendAll(MakeGet("Fun=echo&data=" + std::to_string(i))));
  }
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(ResponseBody(vecClients[i]->ReadResponse()), EchoBody(std::to_string(i)));
  }
  // Threads are kept for later connections, never more than were needed.
  EXPECT_GE(m_pServer->ThreadCount(), 1u);
  EXPECT_LE(m_pServer->ThreadCount(), 40u);
}

TEST_F(ServerTest, ListensOnTheConfiguredAddressOnlyUntilStopped) {
  StartServer();
  EXPECT_FALSE(CLoopbackClient(m_nPort, "127.0.0.2").IsConnected());
  EXPECT_TRUE(CLoopbackClient(m_nPort, "127.0.0.1").IsConnected());
  EXPECT_TRUE(m_pServer->Stop());
  EXPECT_EQ(m_pServer->m_nState.load(), ServerState::Idle);
  EXPECT_TRUE(m_pServer->Stop());
  EXPECT_FALSE(CLoopbackClient(m_nPort).IsConnected());
}

TEST(ServerSettings, ListenFailureLeavesTheProcessUp) {
  CTempDir dir("tolvan-http");
  LogTo(dir.Path());
  // Ten ports in a row held by others: every bind fails, the last on P + 9.
  std::vector<std::unique_ptr<CTcpServerSocket>> vecHeld;
  uint16_t nFirst = 0;
  for (int nTry = 0; nTry < 50 && vecHeld.size() < 10; ++nTry) {
    vecHeld.clear();
    vecHeld.push_back(std::make_unique<CTcpServerSocket>(true, false));
    std::string strAddr;
    unsigned short nPort = 0;
    if (!vecHeld[0]->Bind(0, "127.0.0.1") || !vecHeld[0]->GetLocalPeerInfo(strAddr, nPort) ||
        nPort > 65535 - 9) {
      continue;
    }
    nFirst = nPort;
    for (int i = 1; i < 10; ++i) {
      vecHeld.push_back(std::make_unique<CTcpServerSocket>(true, false));
      if (!vecHeld.back()->Bind(static_cast<unsigned short>(nFirst + i), "127.0.0.1")) break;
    }
  }
  ASSERT_EQ(vecHeld.size(), 10u) << "no ten free ports in a row";
  for (auto& pHeld : vecHeld) ASSERT_TRUE(pHeld->Listen(1));
  auto pServer = MakeServer("127.0.0.1", nFirst);
  ASSERT_TRUE(pServer->Start());
  EXPECT_FALSE(pServer->WaitListening(10000));
  EXPECT_TRUE(pServer->Stop());
  EXPECT_EQ(pServer->m_nState.load(), ServerState::Idle);
  EXPECT_NE(ReadProcessLog(dir.Path()).find("Service listen on port " + std::to_string(nFirst + 9) +
                              " fail, exit now...\n"),
            std::string::npos);
}

TEST(ServerSettings, BusyPortMovesToTheNextOne) {
  CTempDir dir("tolvan-http");
  LogTo(dir.Path());
  // Hold a port whose successor was free a moment ago.
  CTcpServerSocket held(true, false);
  ASSERT_TRUE(held.Bind(0, "127.0.0.1") && held.Listen(1));
  std::string strAddr;
  unsigned short nHeld = 0;
  ASSERT_TRUE(held.GetLocalPeerInfo(strAddr, nHeld));
  if (nHeld == 65535) GTEST_SKIP() << "no port after the one the system gave";
  auto pServer = MakeServer("127.0.0.1", nHeld);
  ASSERT_TRUE(pServer->Start());
  ASSERT_TRUE(pServer->WaitListening(10000));
  EXPECT_GT(pServer->GetListenPort(), nHeld);
  EXPECT_LE(pServer->GetListenPort(), nHeld + 9);
  pServer->Stop();
  held.CloseSocket();
  // The start line names the configured port, not the one that was taken.
  EXPECT_NE(ReadProcessLog(dir.Path()).find("Tolvan server start on " + std::to_string(nHeld) + " with log level 3 ...\n"),
            std::string::npos);
}

}  // namespace

namespace {

// A key-watch routine that waits far longer than any test, as the real one
// waits between its passes, and counts its passes.
std::atomic<int> g_nWatchPasses{0};
void LongWaitingWatch(void* pServer) {
  CTolvanServer* pTolvan = static_cast<CTolvanServer*>(pServer);
  while (pTolvan->m_nState.load() == ServerState::Running) {
    ++g_nWatchPasses;
    pTolvan->WaitWhileRunning(600000);
  }
}

}  // namespace

TEST_F(ServerTest, KeyWatchRoutineStartsAtOnceAndStopEndsItsWait) {
  g_nWatchPasses = 0;
  LogTo(m_dir.Path());
  m_pServer = MakeServer("127.0.0.1", 0);
  m_pServer->SetKeyWatchRoutine(LongWaitingWatch);
  ASSERT_TRUE(m_pServer->Start());
  ASSERT_TRUE(m_pServer->WaitListening(10000));
  EXPECT_TRUE(WaitUntil([] { return g_nWatchPasses.load() > 0; }, 10000));
  EXPECT_EQ(1, g_nWatchPasses.load());
  EXPECT_EQ(1u, m_pServer->KeyWatchCount());
  // Stop wakes the routine from its wait and waits for it to end, so nothing
  // reads the object once it is gone; the routine's wait did not run out.
  EXPECT_TRUE(m_pServer->Stop());
  EXPECT_EQ(0u, m_pServer->KeyWatchCount());
  EXPECT_EQ(1, g_nWatchPasses.load());
}
