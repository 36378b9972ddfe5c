// What a hostile local client can try against the listener: floods of silent
// connections, settings that would open the port to the network, values that
// would forge log lines, and a stop that must not wait twice.
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
#include "http/ListenAddress.h"
#include "http/OriginPolicy.h"
#include "http/TolvanServer.h"
#include "tests/http/FakeApiHandler.h"
#include "tests/http/LoopbackClient.h"
#include "tests/support/ProcessLogFiles.h"
#include "tests/support/TempDir.h"

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

class ServerHardening : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeApiHandler::Reset();
    LogTo(m_dir.Path());
  }
  void TearDown() override {
    m_pServer.reset();
    CloseProcessLog();
  }

  void MakeServer(const std::string& strIP, RequestHandler pfnHandler = FakeApiHandler::Handle) {
    CServerSettings settings;
    settings.m_strIP = strIP;
    settings.m_nPort = 0;
    m_pServer = std::make_unique<CTolvanServer>(settings);
    m_pServer->SetRequestHandler(pfnHandler);
  }

  void Start() {
    ASSERT_TRUE(m_pServer->Start());
    ASSERT_TRUE(m_pServer->WaitListening(10000));
    m_nPort = m_pServer->GetListenPort();
  }

  CTempDir m_dir{"tolvan-harden"};
  std::unique_ptr<CTolvanServer> m_pServer;
  uint16_t m_nPort = 0;
};

TEST_F(ServerHardening, SilentConnectionsTakeNoServingSlot) {
  MakeServer("127.0.0.1");
  // Two requests may be served at once; ten times as many clients say nothing.
  m_pServer->SetServeLimits(2, 50);
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
    EXPECT_EQ(ResponseBody(client.ReadResponse()),
              "\r\n\r\n{\"outData\":\"" + std::to_string(i) + "\",\"return\":\"0\"}\r\n\r\n");
  }
  EXPECT_LE(m_pServer->ThreadCount(), 2u);
  EXPECT_TRUE(vecSilent.front()->IsConnected());
}

TEST_F(ServerHardening, AtTheBoundTheOldestSilentConnectionGoesFirst) {
  MakeServer("127.0.0.1");
  m_pServer->SetPendingLimit(4);
  Start();
  // The first client has sent part of its request; the next three nothing.
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
  EXPECT_EQ(ResponseBody(talking.ReadResponse()),
            "\r\n\r\n{\"outData\":\"partial\",\"return\":\"0\"}\r\n\r\n");
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

TEST_F(ServerHardening, EveryInterfaceOrAStaleAddressListensOnLoopbackOnly) {
  for (const char* szIP : {"0.0.0.0", "192.0.2.1", ""}) {
    SetUp();
    MakeServer(szIP);
    Start();
    ASSERT_NE(m_nPort, 0) << szIP;
    EXPECT_TRUE(CLoopbackClient(m_nPort, "127.0.0.1").IsConnected()) << szIP;
    EXPECT_FALSE(CLoopbackClient(m_nPort, "127.0.0.2").IsConnected()) << szIP;
    m_pServer.reset();
    EXPECT_NE(ReadProcessLog(m_dir.Path()).find("IP \"" + std::string(szIP) + "\" is not a loopback address"),
              std::string::npos)
        << szIP;
  }
}

TEST(LogText, ControlBytesAreEscaped) {
  EXPECT_EQ(EscapeControlBytes("plain text 100% \\ \"q\""), "plain text 100% \\ \"q\"");
  EXPECT_EQ(EscapeControlBytes(std::string("a\r\nb\t\x01\x7F\x80\xFF", 9)),
            "a\\x0D\\x0Ab\\x09\\x01\\x7F\x80\xFF");
  EXPECT_EQ(EscapeControlBytes(std::string("\0z", 2)), "\\x00z");
}

TEST_F(ServerHardening, ValuesCannotForgeLogLines) {
  MakeServer("127.0.0.1");
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

TEST_F(ServerHardening, TheWholeStopKeepsToItsTime) {
  {
    std::lock_guard<std::mutex> lock(g_mutexBlock);
    g_bRelease = false;
  }
  MakeServer("127.0.0.1", BlockingHandler);
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

TEST_F(ServerHardening, AnOriginNotListedGetsNoResponse) {
  CServerSettings settings;
  settings.m_nPort = 0;
  settings.m_strAllowedOrigins = "https://bank.example";
  m_pServer = std::make_unique<CTolvanServer>(settings);
  m_pServer->SetRequestHandler(FakeApiHandler::Handle);
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
