// The listener and its connections, end to end over loopback sockets, with
// the dispatcher's test double behind them; and what a hostile local client
// can try against it: floods of silent connections, settings that would open
// the port to the network, values that would forge log lines, origins not
// allowed, and a stop that must not wait twice.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/logging/LogText.h"
#include "base/sockets/TcpServerSocket.h"
#include "base/system/Clock.h"
#include "http/ConnTracker.h"
#include "http/HttpExchange.h"
#include "http/ListenAddress.h"
#include "http/OriginPolicy.h"
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
std::unique_ptr<CTolvanServer> MakeServer(const std::string& strIP, uint16_t nPort,
                                          const std::string& strOrigins = "") {
  CServerSettings settings;
  settings.m_strIP = strIP;
  settings.m_nPort = nPort;
  settings.m_nDebugLevel = 3;
  settings.m_strAllowedOrigins = strOrigins;
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

  // Starts m_pServer, made on a free loopback port when there is none yet.
  void Start() {
    if (!m_pServer) m_pServer = MakeServer("127.0.0.1", 0);
    ASSERT_TRUE(m_pServer->Start());
    ASSERT_TRUE(m_pServer->WaitListening(10000));
    m_nPort = m_pServer->GetListenPort();
  }
  void StartServer(unsigned nMaxServed, unsigned nCloseDelayMs, unsigned nMaxClosing = kMaxClosingConnections) {
    m_pServer = MakeServer("127.0.0.1", 0);
    m_pServer->SetServeLimits(nMaxServed, nCloseDelayMs, nMaxClosing);
    Start();
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
  Start();
  EXPECT_EQ(Exchange(MakePost("Fun=echo&data=AB")), Expected("{\"outData\":\"AB\",\"return\":\"0\"}"));
  EXPECT_EQ(Exchange(MakeGet("Fun=nothing")), Expected("{\"return\":\"-10000\"}"));
  EXPECT_EQ(FakeApiHandler::CallCount(), 2);

  Exchange(MakePost("Fun=echo&data=x+y%2Bz%41&name%20=1&data2=%C4%E3&&empty="));
  const RequestParams expected = {{"", ""},       {"Fun", "echo"},     {"data", "x y+zA"},
                                  {"data2", "\xC4\xE3"}, {"empty", ""}, {"name%20", "1"}};
  EXPECT_EQ(FakeApiHandler::LastRequest(), expected);
}

TEST_F(ServerTest, KeyPasswordsNeverReachTheLog) {
  Start();
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
  Start();
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

TEST_F(ServerTest, LargeRequestsAndResponsesGoWhole) {
  Start();
  const std::string strData(64 * 1024, 'a');
  EXPECT_EQ(ResponseBody(Exchange(MakePost("Fun=echo&data=" + strData))), EchoBody(strData));
  // Several MiB: the server has to wait for the client to make room.
  EXPECT_EQ(ResponseBody(Exchange(MakeGet("Fun=big&size=3000000"))).size(), 3000000u + 35u);
}

TEST_F(ServerTest, ServedConnectionIsResetAfterItsPause) {
  Start();
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
  Start();
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
  m_pServer = MakeServer("127.0.0.1", 0);
  m_pServer->SetKeyWatchRoutine(LongWaitingWatch);
  Start();
  EXPECT_TRUE(WaitUntil([] { return g_nWatchPasses.load() > 0; }, 10000));
  EXPECT_EQ(1, g_nWatchPasses.load());
  EXPECT_EQ(1u, m_pServer->KeyWatchCount());
  // Stop wakes the routine from its wait and waits for it to end, so nothing
  // reads the object once it is gone; the routine's wait did not run out.
  EXPECT_TRUE(m_pServer->Stop());
  EXPECT_EQ(0u, m_pServer->KeyWatchCount());
  EXPECT_EQ(1, g_nWatchPasses.load());
}

namespace {

// A handler whose "Fun=block" call waits until the test lets it go.
std::mutex g_mutexBlock;
std::condition_variable g_cvBlock;
bool g_bBlocked = false;  // a call is inside
bool g_bRelease = false;

bool BlockingHandler(const RequestParams& request, RequestParams& result) {
  const auto itFun = request.find("Fun");
  if (itFun != request.end() && itFun->second == "block") {
    std::unique_lock<std::mutex> lock(g_mutexBlock);
    g_bBlocked = true;
    g_cvBlock.notify_all();
    g_cvBlock.wait_for(lock, std::chrono::seconds(60), [] { return g_bRelease; });
    g_bBlocked = false;
    g_cvBlock.notify_all();
  }
  return FakeApiHandler::Handle(request, result);
}

TEST_F(ServerTest, SilentConnectionsTakeNoServingSlot) {
  // Two requests may be served at once; ten times as many clients say nothing.
  StartServer(2, 50);
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
  }
  EXPECT_LE(m_pServer->ThreadCount(), 2u);
  EXPECT_TRUE(vecSilent.front()->IsConnected());
}

TEST_F(ServerTest, AtTheBoundTheOldestSilentConnectionGoesFirst) {
  m_pServer = MakeServer("127.0.0.1", 0);
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
  struct Case {
    const char* szIP;
    const char* szBound;
    bool bTaken;
  };
  const Case cases[] = {
      {"127.0.0.1", "127.0.0.1", true},   {"127.0.0.2", "127.0.0.2", true},
      {"127.255.255.254", "127.255.255.254", true},
      {"localhost", "127.0.0.1", true},   {"LocalHost", "127.0.0.1", true},
      {"0.0.0.0", "127.0.0.1", false},    {"", "127.0.0.1", false},
      {"192.168.1.20", "127.0.0.1", false}, {"::1", "127.0.0.1", false},
      {"128.0.0.1", "127.0.0.1", false},  {"127.0.0.1 ", "127.0.0.1", false},
      {"localhost.example", "127.0.0.1", false}, {"255.255.255.255", "127.0.0.1", false},
  };
  for (const Case& c : cases) {
    std::string strWhy;
    EXPECT_EQ(LoopbackListenAddress(c.szIP, strWhy), c.szBound) << c.szIP;
    EXPECT_EQ(strWhy.empty(), c.bTaken) << c.szIP;
  }
}

// Every interface, or a stale address, listens on loopback only (and says
// so); the listener is there until it is stopped, and a second stop is fine.
TEST_F(ServerTest, ListensOnLoopbackOnlyUntilStopped) {
  for (const std::string strIP : {"127.0.0.1", "0.0.0.0", "192.0.2.1", ""}) {
    SetUp();
    m_pServer = MakeServer(strIP, 0);
    Start();
    ASSERT_NE(m_nPort, 0) << strIP;
    EXPECT_TRUE(CLoopbackClient(m_nPort, "127.0.0.1").IsConnected()) << strIP;
    EXPECT_FALSE(CLoopbackClient(m_nPort, "127.0.0.2").IsConnected()) << strIP;
    EXPECT_TRUE(m_pServer->Stop());
    EXPECT_EQ(m_pServer->m_nState.load(), ServerState::Idle);
    EXPECT_TRUE(m_pServer->Stop());
    EXPECT_FALSE(CLoopbackClient(m_nPort).IsConnected()) << strIP;
    m_pServer.reset();
    const std::string strLog = ReadProcessLog(m_dir.Path());
    EXPECT_EQ(strLog.find("IP \"" + strIP + "\" is not a loopback address") != std::string::npos,
              strIP != "127.0.0.1")
        << strIP;
  }
}

TEST(LogText, ControlBytesAreEscaped) {
  EXPECT_EQ(EscapeControlBytes("plain text 100% \\ \"q\""), "plain text 100% \\ \"q\"");
  EXPECT_EQ(EscapeControlBytes(std::string("a\r\nb\t\x01\x7F\x80\xFF", 9)),
            "a\\x0D\\x0Ab\\x09\\x01\\x7F\x80\xFF");
  EXPECT_EQ(EscapeControlBytes(std::string("\0z", 2)), "\\x00z");
}

TEST_F(ServerTest, ValuesCannotForgeLogLines) {
  Start();
  const std::string strForged = "[2026-01-01 00:00:00][00000001][00:00] forged";
  // Raw line breaks in the request text, and encoded ones echoed back.
  {
    CLoopbackClient client(m_nPort);
    ASSERT_TRUE(client.SendAll(MakePost("Fun=echo&pad=" + std::string(40, 'p') + "&x=a\r\n" +
                                        strForged + "&data=b%0D%0A" + strForged)));
    ASSERT_NE(client.ReadResponse(), "");
  }
  m_pServer.reset();
  const std::string strLog = ReadProcessLog(m_dir.Path());
  EXPECT_NE(strLog.find("x=a\\x0D\\x0A" + strForged), std::string::npos) << strLog;
  EXPECT_NE(strLog.find("\"outData\":\"b\\x0D\\x0A" + strForged), std::string::npos) << strLog;
  EXPECT_EQ(strLog.find("\n" + strForged), std::string::npos) << strLog;
}

TEST_F(ServerTest, TheWholeStopKeepsToItsTime) {
  {
    std::lock_guard<std::mutex> lock(g_mutexBlock);
    g_bRelease = false;
  }
  m_pServer = MakeServer("127.0.0.1", 0);
  m_pServer->SetRequestHandler(BlockingHandler);
  m_pServer->SetStopWait(1000);
  Start();
  CLoopbackClient client(m_nPort);
  ASSERT_TRUE(client.SendAll(MakeGet("Fun=block")));
  {
    std::unique_lock<std::mutex> lock(g_mutexBlock);
    ASSERT_TRUE(g_cvBlock.wait_for(lock, std::chrono::seconds(20), [] { return g_bBlocked; }));
  }
  // The listener and the connection being served share the one stop time.
  const uint64_t nStart = GetTickCountMs();
  m_pServer->Stop();
  m_pServer.reset();
  const uint64_t nTook = GetTickCountMs() - nStart;
  EXPECT_LT(nTook, 8000u);
  {
    std::unique_lock<std::mutex> lock(g_mutexBlock);
    g_bRelease = true;
    g_cvBlock.notify_all();
    g_cvBlock.wait_for(lock, std::chrono::seconds(20), [] { return !g_bBlocked; });
  }
  // The connection outlived the server and ends once its operation is done
  // (answered on POSIX; on Windows the sockets library went with the
  // server). Its late log lines may still come: SetUp closes the log file.
  client.WaitEnded();
}

// A decoded exchange for a request with the given extra header lines.
std::unique_ptr<CHttpExchange> Framed(const std::string& strHeaders) {
  auto pExchange = std::make_unique<CHttpExchange>();
  const std::string strRequest =
      "GET /Tolvan?Fun=echo&data=x HTTP/1.1\r\n" + strHeaders + "Accept: */*\r\n\r\n";
  pExchange->ReserveRecvBuf(4096);
  pExchange->AppendRecv(strRequest.data(), static_cast<uint32_t>(strRequest.size()));
  RequestParams params;
  EXPECT_EQ(pExchange->ParseRequest(params), 1) << strHeaders;
  return pExchange;
}

TEST(OriginPolicy, ListedOriginsOrNoneOnTheLocalHost) {
  const COriginPolicy open("");
  const COriginPolicy listed(" https://bank.example\thttp://127.0.0.1:8080/  ");
  EXPECT_FALSE(open.HasList());
  EXPECT_TRUE(listed.HasList());
  struct Case {
    const char* szHeaders;
    bool bListed;  // served with the list
  };
  const Case cases[] = {
      {"Host: 127.0.0.1:8888\r\nOrigin: https://bank.example\r\n", true},
      {"host:localhost:8888\r\nORIGIN:   HTTPS://Bank.Example  \r\n", true},
      {"Origin: http://127.0.0.1:8080\r\nHost: [::1]:8888\r\n", true},
      {"Host: 127.0.0.1\r\n", true},  // a native client: no Origin
      {"Host: LOCALHOST\r\n", true},
      {"Host: 127.0.0.1:8888\r\nOrigin: https://evil.example\r\n", false},
      {"Host: 127.0.0.1:8888\r\nOrigin: null\r\n", false},
      {"Host: 127.0.0.1:8888\r\nOrigin: https://bank.example.evil\r\n", false},
      {"Host: 127.0.0.1:8888\r\nOrigin: \r\n", false},
      // A rebound DNS name reaches 127.0.0.1 with its own Host.
      {"Host: rebind.example:8888\r\nOrigin: https://bank.example\r\n", false},
      {"Host: rebind.example:8888\r\n", false},
      {"Host: 127.0.0.1.evil:8888\r\n", false},
      {"Host: 127.0.0.1:\r\n", false},
      {"Host: [::1]x\r\n", false},
      {"Accept-Language: en\r\n", false},  // no Host at all
  };
  for (const Case& c : cases) {
    const auto pExchange = Framed(c.szHeaders);
    std::string strWhy;
    EXPECT_TRUE(open.Allows(*pExchange, strWhy)) << c.szHeaders;
    EXPECT_EQ(listed.Allows(*pExchange, strWhy), c.bListed) << c.szHeaders;
    EXPECT_EQ(strWhy.empty(), c.bListed) << c.szHeaders;
  }
}

TEST_F(ServerTest, AnOriginNotListedGetsNoResponse) {
  m_pServer = MakeServer("127.0.0.1", 0, "https://bank.example");
  Start();
  const std::string strBody = "Fun=echo&data=" + std::string(60, 'o');
  const auto post = [&](const std::string& strHeaders) {
    return "POST /Tolvan HTTP/1.1\r\n" + strHeaders + "Content-Length: " +
           std::to_string(strBody.size()) + "\r\n\r\n" + strBody;
  };
  {
    CLoopbackClient client(m_nPort);
    ASSERT_TRUE(client.SendAll(post("Host: 127.0.0.1\r\nOrigin: https://bank.example\r\n")));
    EXPECT_NE(client.ReadResponse(), "");
  }
  {
    CLoopbackClient client(m_nPort);
    ASSERT_TRUE(client.SendAll(post("Host: localhost:1\r\n")));
    EXPECT_NE(client.ReadResponse(), "");
  }
  for (const char* szHeaders : {"Host: 127.0.0.1\r\nOrigin: https://evil.example\r\n",
                                "Host: rebind.example\r\n"}) {
    CLoopbackClient client(m_nPort);
    ASSERT_TRUE(client.SendAll(post(szHeaders)));
    EXPECT_TRUE(client.WaitEnded()) << szHeaders;
    EXPECT_EQ(client.Partial(), "") << szHeaders;
  }
  EXPECT_EQ(FakeApiHandler::CallCount(), 2);
  m_pServer.reset();
  const std::string strLog = ReadProcessLog(m_dir.Path());
  EXPECT_NE(strLog.find("refused: origin \"https://evil.example\" is not allowed"),
            std::string::npos);
  EXPECT_NE(strLog.find("refused: host \"rebind.example\" is not the local host"),
            std::string::npos);
}

}  // namespace
