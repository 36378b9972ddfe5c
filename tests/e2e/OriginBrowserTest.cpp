// The origin allow-list as a browser meets it: headless Chromium loads a page
// from a loopback page server and the page calls the agent with fetch(). A
// page from a listed origin gets its answer; a page from another origin gets
// none (the connection ends without a response, so fetch() fails).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/sockets/TcpServerSocket.h"
#include "http/TolvanServer.h"
#include "tests/http/FakeApiHandler.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ProcessLogFiles.h"
#include "tests/support/TempDir.h"

#include <unistd.h>

namespace {

const char kChromium[] = "/usr/bin/chromium";

// The page: one POST to the agent on the port its URL's fragment names; the title shows the
// answer or "failed".
const char kCallingPage[] =
    "<html><head><title>pending</title></head><body><script>\n"
    "fetch('http://127.0.0.1:' + location.hash.substring(1) + '/Tolvan', {method: 'POST',\n"
    "  headers: {'Content-Type': 'application/x-www-form-urlencoded'},\n"
    "  body: 'Fun=echo&data=browser'})\n"
    "  .then(r => r.text())\n"
    "  .then(t => { document.title = 'answer:' + t.replace(/\\s/g, ''); })\n"
    "  .catch(e => { document.title = 'failed'; });\n"
    "</script></body></html>";

// Serves that page for every request on a loopback port of its own.
class CPageServer {
 public:
  CPageServer() : m_listener(true, false) {
    std::string strAddr;
    unsigned short nPort = 0;
    if (m_listener.Bind(0, "127.0.0.1") && m_listener.Listen(16) &&
        m_listener.GetLocalPeerInfo(strAddr, nPort)) {
      m_nPort = nPort;
      m_thread = std::thread([this] { Serve(); });
    }
  }
  ~CPageServer() {
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    m_listener.CloseSocket();
  }
  uint16_t Port() const { return m_nPort; }

 private:
  void Serve() {
    while (!m_bStop) {
      if (m_listener.CanReceive(0, 100000) <= 0) continue;
      CTcpSocket client = m_listener.Accept();
      if (!client.IsValidSocket()) continue;
      char szRequest[4097];
      int nGot = 0;
      char* pEnd = nullptr;
      client.ReadForTerminalStr(szRequest, 4096, 5000, "\r\n\r\n", nGot, nullptr, pEnd);
      // The page for every request (a favicon request gets it too).
      const std::string strResponse =
          "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
          std::to_string(sizeof(kCallingPage) - 1) + "\r\n\r\n" + kCallingPage;
      unsigned nDone = 0;
      client.Send_n(strResponse.data(), static_cast<unsigned>(strResponse.size()), nDone, nullptr);
      client.CloseSocket();
    }
  }

  CTcpServerSocket m_listener;
  uint16_t m_nPort = 0;
  std::atomic<bool> m_bStop{false};
  std::thread m_thread;
};

// The page's title once Chromium has run it ("" when Chromium did not run).
std::string TitleInChromium(const std::string& strUrl) {
  CTempDir profile("tolvan-chromium");
  std::string strDom;
  RunIn(profile.Str(),
        std::string(kChromium) + " --headless --no-sandbox --disable-gpu --no-first-run "
            "--user-data-dir=" + ShellQuote(profile.Str()) +
            " --virtual-time-budget=30000 --dump-dom " + ShellQuote(strUrl),
        &strDom);
  const size_t nStart = strDom.find("<title>");
  const size_t nEnd = strDom.find("</title>");
  if (nStart == std::string::npos || nEnd == std::string::npos || nEnd < nStart) return "";
  return strDom.substr(nStart + 7, nEnd - nStart - 7);
}

TEST(OriginInBrowser, ListedOriginIsAnsweredAnotherIsNot) {
  if (::access(kChromium, X_OK) != 0) GTEST_SKIP() << kChromium << " is not installed";
  CTempDir logDir("tolvan-e2e");
  LogTo(logDir.Path());
  FakeApiHandler::Reset();

  // Two page servers; the agent lists the first one's origin only.
  CPageServer listed;
  CPageServer other;
  ASSERT_NE(listed.Port(), 0);
  ASSERT_NE(other.Port(), 0);
  CServerSettings settings;
  settings.m_nPort = 0;
  settings.m_strAllowedOrigins =
      "https://bank.example http://127.0.0.1:" + std::to_string(listed.Port());
  CTolvanServer agent(settings);
  agent.SetRequestHandler(FakeApiHandler::Handle);
  ASSERT_TRUE(agent.Start());
  ASSERT_TRUE(agent.WaitListening(10000));
  const std::string strPage = "/page.html#" + std::to_string(agent.GetListenPort());

  EXPECT_EQ(TitleInChromium("http://127.0.0.1:" + std::to_string(listed.Port()) + strPage),
            "answer:{\"outData\":\"browser\",\"return\":\"0\"}");
  EXPECT_EQ(FakeApiHandler::CallCount(), 1);
  EXPECT_EQ(TitleInChromium("http://127.0.0.1:" + std::to_string(other.Port()) + strPage),
            "failed");
  EXPECT_EQ(FakeApiHandler::CallCount(), 1);
  agent.Stop();
  CloseProcessLog();
}

}  // namespace
