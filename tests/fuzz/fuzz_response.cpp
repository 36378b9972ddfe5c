// Composition of responses from arbitrary result maps.
//
// Input: entries separated by 0x01, name and value separated by 0x02 (any
// other byte, 0 included, belongs to the name or value).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/HttpExchange.h"

namespace {

void Check(bool bCondition) {
  if (!bCondition) __builtin_trap();
}

RequestParams MakeResult(const std::string& strInput) {
  RequestParams result;
  size_t nStart = 0;
  while (nStart <= strInput.size()) {
    size_t nEnd = strInput.find('\x01', nStart);
    if (nEnd == std::string::npos) nEnd = strInput.size();
    const std::string strEntry = strInput.substr(nStart, nEnd - nStart);
    const size_t nSep = strEntry.find('\x02');
    if (nSep == std::string::npos) {
      result[strEntry] = "";
    } else {
      result[strEntry.substr(0, nSep)] = strEntry.substr(nSep + 1);
    }
    nStart = nEnd + 1;
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  const RequestParams result =
      MakeResult(std::string(reinterpret_cast<const char*>(pData), nSize));

  CHttpExchange exchange;
  Check(exchange.BuildResponse(result));
  const std::string strText(exchange.m_pSendBuf.get(), exchange.m_nSendLen);
  Check(exchange.m_nSendLen < exchange.m_nSendBufSize);
  Check(exchange.m_pSendBuf.get()[exchange.m_nSendLen] == '\0');

  // Header block, then exactly Content-Length bytes of body, which is the
  // composed body.
  const size_t nHeadEnd = strText.find("\r\n\r\n");
  Check(nHeadEnd != std::string::npos);
  const size_t nLenPos = strText.find("\r\nContent-Length: ");
  Check(nLenPos != std::string::npos && nLenPos < nHeadEnd);
  const unsigned long nLength = std::strtoul(strText.c_str() + nLenPos + 18, nullptr, 10);
  const std::string strBody = strText.substr(nHeadEnd + 4);
  Check(strBody.size() == nLength);
  Check(strBody == ComposeResponseBody(result));
  Check(strText.compare(0, 17, "HTTP/1.1 200 OK\r\n") == 0);
  Check(strText.compare(15, 8, "\r\nDate: ") == 0 && strText.compare(52, 2, "\r\n") == 0);

  // A second response on the same exchange replaces the first.
  Check(exchange.BuildResponseDated(RequestParams(), "Sat, 01 Jan 2000 00:00:00 GMT"));
  const std::string strSecond(exchange.m_pSendBuf.get(), exchange.m_nSendLen);
  Check(strSecond.find("\r\nDate: Sat, 01 Jan 2000 00:00:00 GMT\r\n") == 15);
  Check(strSecond.find("\r\nContent-Length: 10\r\n") != std::string::npos);
  Check(strSecond.size() > 10 && strSecond.compare(strSecond.size() - 10, 10, "\r\n\r\n{}\r\n\r\n") == 0);
  Check(strSecond.find("\r\n\r\n") == strSecond.size() - 14);
  return 0;
}
