#include "tests/http/LoopbackClient.h"

#include <cstdlib>

#include "base/system/Clock.h"

CLoopbackClient::CLoopbackClient(uint16_t nPort, const char* szHost) : m_socket(true, false) {
  m_bConnected = m_socket.Connect(szHost, nPort);
}

CLoopbackClient::~CLoopbackClient() { m_socket.CloseSocket(); }

void CLoopbackClient::ShutdownSend() { m_socket.ShutDown(1); }

bool CLoopbackClient::SendAll(const std::string& strBytes) {
  size_t nDone = 0;
  while (nDone < strBytes.size()) {
    const int nSent = m_socket.Send(strBytes.data() + nDone,
                                    static_cast<unsigned>(strBytes.size() - nDone), 0);
    if (nSent <= 0) return false;
    nDone += static_cast<size_t>(nSent);
  }
  return true;
}

bool CLoopbackClient::Readable(unsigned nMs) {
  return m_socket.CanReceive(static_cast<long>(nMs / 1000), static_cast<long>(nMs % 1000) * 1000) > 0;
}

int CLoopbackClient::ReadUntil(bool (*fnDone)(const std::string&), unsigned nTimeoutMs) {
  const uint64_t nEnd = GetTickCountMs() + nTimeoutMs;
  char szBuf[65536];
  while (!fnDone(m_strReceived)) {
    const uint64_t nNow = GetTickCountMs();
    if (nNow >= nEnd || !Readable(static_cast<unsigned>(nEnd - nNow))) return -1;
    const int nGot = m_socket.Receive(szBuf, sizeof(szBuf), 0);
    if (nGot <= 0) return 0;  // closed (0) or reset (-1)
    m_strReceived.append(szBuf, static_cast<size_t>(nGot));
  }
  return 1;
}

std::string CLoopbackClient::ReadResponse(unsigned nTimeoutMs) {
  const auto whole = [](const std::string& str) {
    const size_t nHeadEnd = str.find("\r\n\r\n");
    const size_t nLenPos = str.find("Content-Length: ");
    return nHeadEnd != std::string::npos && nLenPos < nHeadEnd &&
           str.size() >= nHeadEnd + 4 + std::strtoul(str.c_str() + nLenPos + 16, nullptr, 10);
  };
  return ReadUntil(whole, nTimeoutMs) == 1 ? m_strReceived : std::string();
}

bool CLoopbackClient::WaitEnded(unsigned nTimeoutMs) {
  return ReadUntil([](const std::string&) { return false; }, nTimeoutMs) == 0;
}

std::string MakePost(const std::string& strBody) {
  return "POST /Tolvan HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nContent-Type: "
         "application/x-www-form-urlencoded\r\nContent-Length: " +
         std::to_string(strBody.size()) + "\r\n\r\n" + strBody;
}

std::string MakeGet(const std::string& strQuery) {
  return "GET /Tolvan?" + strQuery +
         " HTTP/1.1\r\nHost: 127.0.0.1:8888\r\nAccept: */*\r\n"
         "User-Agent: Mozilla/5.0 (X11; Linux x86_64) loopback test client\r\n\r\n";
}

std::string ResponseBody(const std::string& strResponse) {
  const size_t nHeadEnd = strResponse.find("\r\n\r\n");
  return nHeadEnd == std::string::npos ? std::string() : strResponse.substr(nHeadEnd + 4);
}
