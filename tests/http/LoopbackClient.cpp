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

std::string CLoopbackClient::ReadResponse(unsigned nTimeoutMs) {
  const uint64_t nEnd = GetTickCountMs() + nTimeoutMs;
  char szBuf[65536];
  for (;;) {
    const size_t nHeadEnd = m_strReceived.find("\r\n\r\n");
    if (nHeadEnd != std::string::npos) {
      const size_t nLenPos = m_strReceived.find("Content-Length: ");
      if (nLenPos != std::string::npos && nLenPos < nHeadEnd) {
        const size_t nBodyLen = std::strtoul(m_strReceived.c_str() + nLenPos + 16, nullptr, 10);
        if (m_strReceived.size() >= nHeadEnd + 4 + nBodyLen) return m_strReceived;
      }
    }
    const uint64_t nNow = GetTickCountMs();
    if (nNow >= nEnd || !Readable(static_cast<unsigned>(nEnd - nNow))) return std::string();
    const int nGot = m_socket.Receive(szBuf, sizeof(szBuf), 0);
    if (nGot <= 0) return std::string();
    m_strReceived.append(szBuf, static_cast<size_t>(nGot));
  }
}

bool CLoopbackClient::WaitEnded(unsigned nTimeoutMs) {
  const uint64_t nEnd = GetTickCountMs() + nTimeoutMs;
  char szBuf[65536];
  for (;;) {
    const uint64_t nNow = GetTickCountMs();
    if (nNow >= nEnd || !Readable(static_cast<unsigned>(nEnd - nNow))) return false;
    const int nGot = m_socket.Receive(szBuf, sizeof(szBuf), 0);
    if (nGot <= 0) return true;  // closed (0) or reset (-1)
    m_strReceived.append(szBuf, static_cast<size_t>(nGot));
  }
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

std::string WithoutDate(const std::string& strResponse) {
  const size_t nStart = strResponse.find("\r\nDate: ");
  if (nStart == std::string::npos) return strResponse;
  const size_t nValue = nStart + 8;
  const size_t nEnd = strResponse.find("\r\n", nValue);
  return strResponse.substr(0, nValue) + "*" + strResponse.substr(nEnd);
}
