// The listener and its connections over loopback sockets, with the dispatcher's
// test double behind them, and what a hostile local client can try against it.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/logging/LogText.h"
#include "base/sockets/TcpServerSocket.h"
#include "base/system/Clock.h"
#include "http/ListenAddress.h"
#include "http/TolvanServer.h"
#include "tests/http/FakeApiHandler.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/ProcessLogFiles.h"
#include "tests/support/TempDir.h"

namespace {

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
  void SetUp() override {
    FakeApiHandler::Reset();
    LogTo(m_dir.Path());
  }
  void TearDown() override {
    m_pServer.reset();
    CloseProcessLog();  // the log file lives in the temporary directory
  }

  // Starts m_pServer (its limits set by the test before).
  void Start() {
    ASSERT_TRUE(m_pServer->Start());
    ASSERT_TRUE(m_pServer->WaitListening(10000));
    m_nPort = m_pServer->GetListenPort();
  }
  // Sends one request on a new connection and returns the whole response.
  std::string Exchange(const std::string& strRequest) {
    CLoopbackClient client(m_nPort);
    EXPECT_TRUE(client.SendAll(strRequest));
    return client.ReadResponse();
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
  std::unique_ptr<CTolvanServer> m_pServer = MakeServer("127.0.0.1", 0);
  uint16_t m_nPort = 0;
};

TEST_F(ServerTest, UnroutableMalformedShortOrEndedRequestsGetNoResponse) {
  m_pServer->SetServeLimits(kMaxServedConnections, 10, kMaxClosingConnections);
  Start();
  ExpectRefused(MakePost("data=no-function-named-here&padding=xxxxxxxxxxxxxxxxxxxxxxx"));
  // (Which request lines frame at all: RequestFraming.)
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

// Requests and responses of any size go whole. The request's log line masks
// the key passwords, no value, raw or decoded and echoed back, can forge a log
// line, and a response is logged whole or cut at 2,047 bytes.
TEST_F(ServerTest, LargeExchangesGoWholeAndTheLogHidesPasswordsCannotBeForgedAndCuts) {
  Start();
  const std::string strData(64 * 1024, 'a');
  EXPECT_EQ(ResponseBody(Exchange(MakePost("Fun=echo&data=" + strData))), EchoBody(strData));
  // Several MiB: the server has to wait for the client to make room.
  const std::string strBig = Exchange(MakeGet("Fun=big&size=3000000"));
  EXPECT_EQ(ResponseBody(strBig).size(), 3000000u + 35u);
  const std::string strForged = "[2026-01-01 00:00:00][00000001][00:00] forged";
  EXPECT_NE(Exchange(MakePost("Fun=echo&label=k1&keyPasswd=s3cr%65t&data=b%0D%0A" + strForged +
                              "&passwd=hunter2&keyPasswdX=shown&x=a\r\n" + strForged)),
            "");
  EXPECT_EQ(FakeApiHandler::LastRequest().at("keyPasswd"), "s3cret");
  EXPECT_EQ(FakeApiHandler::LastRequest().at("passwd"), "hunter2");
  const std::string strSmall = Exchange(MakeGet("Fun=echo&data=small"));
  m_pServer.reset();  // every connection has logged
  const std::string strLog = ReadProcessLog(m_dir.Path());
  EXPECT_NE(strLog.find("label=k1&keyPasswd=***&data=b%0D%0A" + strForged +
                        "&passwd=***&keyPasswdX=shown&x=a\\x0D\\x0A" + strForged),
            std::string::npos);
  EXPECT_EQ(strLog.find("s3cr"), std::string::npos);
  EXPECT_EQ(strLog.find("hunter2"), std::string::npos);
  EXPECT_NE(strLog.find("\"outData\":\"b\\x0D\\x0A" + strForged), std::string::npos);
  EXPECT_EQ(strLog.find("\n" + strForged), std::string::npos);
  // The whole small response, the big one's first 2,047 bytes; each then the
  // format's own line end.
  EXPECT_NE(strLog.find(" Response:\n" + strSmall + "\n"), std::string::npos);
  EXPECT_NE(strLog.find(" Response:\n" + strBig.substr(0, 2047) + "\n"), std::string::npos);
}

TEST_F(ServerTest, OldestClosingConnectionGoesFirstWhenTooManyWait) {
  // A pause far longer than the test: only the bound can end the first.
  m_pServer->SetServeLimits(kMaxServedConnections, 600000, 1);
  Start();
  CLoopbackClient first(m_nPort);
  ASSERT_TRUE(first.SendAll(MakeGet("Fun=echo&data=1")));
  ASSERT_NE(first.ReadResponse(), "");
  // Only once the first waits in the closer is it the oldest there.
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->ClosingCount() == 1; }, 10000));
  CLoopbackClient second(m_nPort);
  ASSERT_TRUE(second.SendAll(MakeGet("Fun=echo&data=2")));
  ASSERT_NE(second.ReadResponse(), "");
  EXPECT_TRUE(first.WaitEnded(10000));
  EXPECT_FALSE(second.Readable(100));  // still waiting for its pause
}

// Ten ports in a row held by others: the listener tries each, gives up after
// the tenth and the process stays up; with the tenth free it listens there,
// and its start line names the configured port. Every interface listens on
// loopback only (and says so); the listener is there until it is stopped, and
// a second stop is fine.
TEST(ServerSettings, BusyPortsMoveOnToTheTenthThenGiveUp) {
  CTempDir dir("tolvan-http");
  LogTo(dir.Path());
  struct CHeld {
    std::vector<CTcpServerSocket> vec;
    void Close() {
      for (CTcpServerSocket& held : vec) held.CloseSocket();
      vec.clear();
    }
    ~CHeld() { Close(); }
  } held;
  uint16_t nFirst = 0;
  for (int nTry = 0; nTry < 50 && held.vec.size() < 10; ++nTry) {
    held.Close();
    held.vec.emplace_back(true, false);
    std::string strAddr;
    unsigned short nPort = 0;
    if (!held.vec[0].Bind(0, "127.0.0.1") || !held.vec[0].GetLocalPeerInfo(strAddr, nPort) ||
        nPort > 65535 - 9) {
      continue;
    }
    nFirst = nPort;
    for (int i = 1; i < 10; ++i) {
      held.vec.emplace_back(true, false);
      if (!held.vec.back().Bind(static_cast<unsigned short>(nFirst + i), "127.0.0.1")) break;
    }
  }
  ASSERT_EQ(held.vec.size(), 10u) << "no ten free ports in a row";
  for (CTcpServerSocket& socket : held.vec) ASSERT_TRUE(socket.Listen(1));
  auto pServer = MakeServer("127.0.0.1", nFirst);
  ASSERT_TRUE(pServer->Start());
  EXPECT_FALSE(pServer->WaitListening(10000));
  EXPECT_TRUE(pServer->Stop());
  EXPECT_EQ(pServer->m_nState.load(), ServerState::Idle);

  // (The first server stays: on Windows the last one to go takes the
  // sockets library, and the held sockets with it.)
  held.vec.back().CloseSocket();
  held.vec.pop_back();
  auto pMoved = MakeServer("0.0.0.0", nFirst);
  ASSERT_TRUE(pMoved->Start());
  ASSERT_TRUE(pMoved->WaitListening(10000));
  const uint16_t nPort = pMoved->GetListenPort();
  EXPECT_EQ(nPort, nFirst + 9);
  EXPECT_TRUE(CLoopbackClient(nPort, "127.0.0.1").IsConnected());
  EXPECT_FALSE(CLoopbackClient(nPort, "127.0.0.2").IsConnected());
  EXPECT_TRUE(pMoved->Stop());
  EXPECT_EQ(pMoved->m_nState.load(), ServerState::Idle);
  EXPECT_TRUE(pMoved->Stop());
  EXPECT_FALSE(CLoopbackClient(nPort).IsConnected());
  const std::string strLog = ReadProcessLog(dir.Path());
  EXPECT_NE(strLog.find("IP \"0.0.0.0\" is not a loopback address"), std::string::npos);
  const size_t nFail =
      strLog.find("Service listen on port " + std::to_string(nFirst + 9) + " fail, exit now...\n");
  ASSERT_NE(nFail, std::string::npos) << strLog;
  const std::string strStart = "Tolvan server start on " + std::to_string(nFirst) + " with log";
  EXPECT_NE(strLog.find(strStart + " level 3 ...\n", nFail), std::string::npos) << strLog;
}

// A handler whose "Fun=block" calls wait until the test lets them go.
std::atomic<int> g_nInside{0};
std::atomic<int> g_nLeft{0};
std::atomic<bool> g_bLetGo{false};

bool BlockingHandler(const RequestParams& request, RequestParams& result) {
  const auto itFun = request.find("Fun");
  if (itFun != request.end() && itFun->second == "block") {
    ++g_nInside;
    WaitUntil([] { return g_bLetGo.load(); }, 60000);
    ++g_nLeft;
  }
  return FakeApiHandler::Handle(request, result);
}

void UseBlockingHandler(CTolvanServer& server) {
  g_nInside = 0;
  g_nLeft = 0;
  g_bLetGo = false;
  server.SetRequestHandler(BlockingHandler);
}

TEST_F(ServerTest, SilentConnectionsTakeNoServingSlotAndTheBoundHolds) {
  // Two requests may be served at once; ten times as many clients say nothing.
  m_pServer->SetServeLimits(2, 50, kMaxClosingConnections);
  UseBlockingHandler(*m_pServer);
  Start();
  std::vector<std::unique_ptr<CLoopbackClient>> vecSilent;
  for (int i = 0; i < 20; ++i) {
    vecSilent.push_back(std::make_unique<CLoopbackClient>(m_nPort));
    ASSERT_TRUE(vecSilent.back()->IsConnected());
  }
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->PendingCount() == 20; }, 20000));
  for (int i = 0; i < 3; ++i) {
    CLoopbackClient client(m_nPort);
    ASSERT_TRUE(client.SendAll(MakeGet("Fun=echo&data=" + std::to_string(i))));
    EXPECT_EQ(ResponseBody(client.ReadResponse()), EchoBody(std::to_string(i)));
    // The slot is given back just after the response has gone out.
    ASSERT_TRUE(WaitUntil([&] { return m_pServer->ServingCount() == 0; }, 20000));
  }
  // Both slots taken: a third request is reset, the two are answered once let go.
  CLoopbackClient first(m_nPort), second(m_nPort), third(m_nPort);
  ASSERT_TRUE(first.SendAll(MakeGet("Fun=block")));
  ASSERT_TRUE(second.SendAll(MakeGet("Fun=block")));
  ASSERT_TRUE(WaitUntil([] { return g_nInside == 2; }, 20000));
  ASSERT_TRUE(third.SendAll(MakeGet("Fun=echo&data=3")));
  EXPECT_EQ(third.ReadResponse(), "");
  EXPECT_EQ(m_pServer->ThreadCount(), 2u);
  g_bLetGo = true;
  EXPECT_NE(first.ReadResponse(), "");
  EXPECT_NE(second.ReadResponse(), "");
  EXPECT_LE(m_pServer->ThreadCount(), 2u);
  EXPECT_TRUE(vecSilent.front()->IsConnected());
  EXPECT_NE(ReadProcessLog(m_dir.Path()).find("refused: 2 connections are being served, reset it"),
            std::string::npos);
}

TEST_F(ServerTest, AtTheBoundTheOldestSilentConnectionGoesFirst) {
  m_pServer->SetPendingLimit(4);
  Start();
  // The first client has sent part of its request (answered once the rest
  // comes); the next three nothing.
  const std::string strRequest = MakeGet("Fun=echo&data=partial");
  CLoopbackClient talking(m_nPort);
  ASSERT_TRUE(talking.SendAll(strRequest.substr(0, 20)));
  CLoopbackClient oldestSilent(m_nPort);
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->PendingCount() == 2; }, 20000));
  CLoopbackClient silent2(m_nPort);
  CLoopbackClient silent3(m_nPort);
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->PendingCount() == 4; }, 20000));

  // A fifth at the bound of four: the oldest silent one makes room, the
  // older one that talked stays and is answered.
  CLoopbackClient fifth(m_nPort);
  EXPECT_TRUE(oldestSilent.WaitEnded());
  ASSERT_TRUE(talking.SendAll(strRequest.substr(20)));
  EXPECT_EQ(ResponseBody(talking.ReadResponse()), EchoBody("partial"));
  ASSERT_TRUE(fifth.SendAll(MakeGet("Fun=echo&data=5")));
  EXPECT_NE(fifth.ReadResponse(), "");
  EXPECT_LE(m_pServer->PendingCount(), 4u);
  EXPECT_NE(ReadProcessLog(m_dir.Path()).find("sent nothing for longest"), std::string::npos);
}

TEST(ListenAddress, OnlyLoopbackSettingsAreTaken) {
  const std::pair<const char*, const char*> kCases[] = {
      {"127.0.0.1", "127.0.0.1"}, {"127.255.255.254", "127.255.255.254"},
      {"LocalHost", "127.0.0.1"}, {"0.0.0.0", nullptr},   {"", nullptr},
      {"::1", nullptr},           {"128.0.0.1", nullptr}, {"127.0.0.1 ", nullptr},
      {"localhost.example", nullptr}, {"255.255.255.255", nullptr},
  };
  for (const auto& c : kCases) {
    std::string strWhy;
    EXPECT_EQ(LoopbackListenAddress(c.first, strWhy), c.second ? c.second : "127.0.0.1") << c.first;
    EXPECT_EQ(strWhy.empty(), c.second != nullptr) << c.first;
  }
}

TEST(LogText, ControlBytesAreEscaped) {
  EXPECT_EQ(EscapeControlBytes("plain text 100% \\ \"q\""), "plain text 100% \\ \"q\"");
  EXPECT_EQ(EscapeControlBytes(std::string("a\r\nb\t\x01\x7F\x80\xFF", 9)),
            "a\\x0D\\x0Ab\\x09\\x01\\x7F\x80\xFF");
  EXPECT_EQ(EscapeControlBytes(std::string("\0z", 2)), "\\x00z");
}

TEST_F(ServerTest, TheWholeStopKeepsToItsTime) {
  UseBlockingHandler(*m_pServer);
  m_pServer->SetStopWait(1000);
  Start();
  CLoopbackClient client(m_nPort);
  ASSERT_TRUE(client.SendAll(MakeGet("Fun=block")));
  ASSERT_TRUE(WaitUntil([] { return g_nInside == 1; }, 20000));
  // The listener and the connection being served share the one stop time.
  const uint64_t nStart = GetTickCountMs();
  m_pServer->Stop();
  m_pServer.reset();
  EXPECT_LT(GetTickCountMs() - nStart, 8000u);
  g_bLetGo = true;
  WaitUntil([] { return g_nLeft == 1; }, 20000);
  // The connection outlived the server and ends once its operation is done
  // (answered on POSIX; on Windows the sockets library went with the
  // server). Its late log lines may still come: SetUp closes the log file.
  client.WaitEnded();
}

}  // namespace
