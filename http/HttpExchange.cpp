#include "http/HttpExchange.h"

#include "base/search/DecimalText.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "base/dates/MyDatetime.h"
#include "base/logging/LogText.h"
#include "base/logging/ProcessLog.h"
#include "base/system/DebugOutput.h"
#include "http/UrlCodec.h"

namespace {

// The request line prefixes understood, compared byte for byte.
const char kPostPrefix[] = "POST /Tolvan HTTP/1.1";  // 21 bytes
const char kGetPrefix[] = "GET /Tolvan?";            // 12 bytes
constexpr size_t kPostPrefixLen = sizeof(kPostPrefix) - 1;
constexpr size_t kGetPrefixLen = sizeof(kGetPrefix) - 1;

// Both spellings of the length header are accepted, case as written.
const char kLengthHeader[] = "Content-Length:";
const char kLengthHeaderLower[] = "Content-length:";
constexpr size_t kLengthHeaderLen = sizeof(kLengthHeader) - 1;  // 15
constexpr size_t kMaxLengthText = 10;

const char kHttpDatePattern[] = "%w, %D %m %Y %H:%U:%S GMT";

const char kResponseHeader[] =
    "HTTP/1.1 200 OK\r\nDate: %s\r\nServer: Tolvan Server\r\n"
    "Access-Control-Allow-Origin:*\r\nContent-Length: %d\r\nConnection: close\r\n"
    "Content-Type: text/json; charset=utf-8\r\n\r\n";

// The request text as it may be logged: the values of the keys that carry a
// key's password are replaced by "***", so the daily log never holds them.
std::string MaskSecrets(const std::string& strText) {
  static const char* const kSecretKeys[] = {"keyPasswd", "passwd"};
  std::string strOut;
  strOut.reserve(strText.size());
  size_t nStart = 0;
  while (nStart <= strText.size()) {
    size_t nEnd = strText.find('&', nStart);
    if (nEnd == std::string::npos) nEnd = strText.size();
    std::string strPiece = strText.substr(nStart, nEnd - nStart);
    size_t nEq = strPiece.find('=');
    if (nEq != std::string::npos) {
      for (const char* szKey : kSecretKeys) {
        if (strPiece.compare(0, nEq, szKey) == 0) {
          strPiece.replace(nEq + 1, std::string::npos, "***");
          break;
        }
      }
    }
    strOut += strPiece;
    if (nEnd < strText.size()) strOut += '&';
    nStart = nEnd + 1;
  }
  return strOut;
}

}  // namespace

bool CHttpExchange::ReserveRecvBuf(uint32_t nWanted) {
  if (m_pRecvBuf && m_nRecvBufSize >= nWanted) return true;
  if (nWanted > kMaxRequestSize) return false;
  std::unique_ptr<char[]> pNew(new (std::nothrow) char[nWanted]);
  if (!pNew) return false;
  if (m_pRecvBuf && m_nRecvLen > 0) std::memcpy(pNew.get(), m_pRecvBuf.get(), m_nRecvLen);
  m_pRecvBuf = std::move(pNew);
  m_nRecvBufSize = nWanted;
  return true;
}

uint32_t CHttpExchange::AppendRecv(const char* pData, uint32_t nLen) {
  if (!m_pRecvBuf || m_nRecvLen >= m_nRecvBufSize) return 0;
  const uint32_t nRoom = m_nRecvBufSize - m_nRecvLen;
  const uint32_t nTaken = nLen < nRoom ? nLen : nRoom;
  std::memcpy(m_pRecvBuf.get() + m_nRecvLen, pData, nTaken);
  m_nRecvLen += nTaken;
  return nTaken;
}

int CHttpExchange::ParseRequest(RequestParams& params) {
  if (!m_pRecvBuf || m_nRecvLen < kMinExaminedBytes) return 0;
  char* pBuf = m_pRecvBuf.get();

  // Terminate the text; a full buffer gives up its last byte for the
  // terminator and gets it back where it matters.
  const bool bFull = m_nRecvLen >= m_nRecvBufSize;
  bool bDisplaced = false;
  char cDisplaced = 0;
  if (!bFull) {
    pBuf[m_nRecvLen] = 0;
  } else {
    cDisplaced = pBuf[m_nRecvBufSize - 1];
    bDisplaced = true;
    pBuf[m_nRecvBufSize - 1] = 0;
  }
  const int nNotYet = bFull ? -1 : 0;

  if (std::memcmp(pBuf, kPostPrefix, kPostPrefixLen) == 0) {
    const char* pHeader = std::strstr(pBuf + kPostPrefixLen, kLengthHeader);
    if (!pHeader) pHeader = std::strstr(pBuf + kPostPrefixLen, kLengthHeaderLower);
    if (!pHeader) return nNotYet;

    const char* pValue = pHeader + kLengthHeaderLen;
    const char* pLineEnd = std::strstr(pValue, "\r\n");
    // The header line may still be on its way.
    if (!pLineEnd) return nNotYet;
    const size_t nValueLen = static_cast<size_t>(pLineEnd - pValue);
    if (nValueLen > kMaxLengthText) return -1;
    const int64_t nContentLen = ParseDecimal(pValue, nValueLen);

    const char* pBlankLine = std::strstr(pLineEnd, "\r\n\r\n");
    if (!pBlankLine) return nNotYet;
    const uint32_t nHeaderEnd = static_cast<uint32_t>(pBlankLine + 4 - pBuf);
    const int64_t nArrived = static_cast<int64_t>(m_nRecvLen) - nHeaderEnd;

    if (nArrived >= nContentLen) {
      // The displaced byte belongs to the body only when the body text runs
      // up to the end of the buffer (no 0 byte ends it earlier).
      const bool bRestore =
          bDisplaced && nHeaderEnd + std::strlen(pBuf + nHeaderEnd) == m_nRecvBufSize - 1;
      std::string strForm(pBuf + nHeaderEnd);
      if (bRestore) strForm += cDisplaced;
      ReadHeaders(pBuf, nHeaderEnd);
      TraceRequest(std::string(pBuf, nHeaderEnd), strForm, std::string());
      ParseForm(strForm, params);
      return 1;
    }
    if (nContentLen <= static_cast<int64_t>(m_nRecvBufSize) - nHeaderEnd) return 0;

    if (bDisplaced) pBuf[m_nRecvBufSize - 1] = cDisplaced;
    const int64_t nNeeded = static_cast<int64_t>(nHeaderEnd) + 1 + nContentLen;
    if (nNeeded > static_cast<int64_t>(kMaxRequestSize)) return -1;
    return ReserveRecvBuf(static_cast<uint32_t>(nNeeded)) ? 0 : -1;
  }

  if (std::memcmp(pBuf, kGetPrefix, kGetPrefixLen) == 0) {
    const char* pBlankLine = std::strstr(pBuf + kGetPrefixLen, "\r\n\r\n");
    if (!pBlankLine) return nNotYet;
    char* pProtocol = std::strstr(pBuf + kGetPrefixLen, " HTTP/1.1");
    if (!pProtocol) return -1;
    const std::string strForm(pBuf + kGetPrefixLen, pProtocol);
    ReadHeaders(pBuf, static_cast<size_t>(pBlankLine + 4 - pBuf));
    TraceRequest(kGetPrefix, strForm, std::string(pProtocol, std::strlen(pProtocol)));
    ParseForm(strForm, params);
    m_nRecvLen = 0;
    return 1;
  }

  return -1;
}

void CHttpExchange::TraceRequest(const std::string& strHead, const std::string& strForm,
                                 const std::string& strTail) const {
  if (!DebugOutputEnabled()) return;
  DebugOutput((strHead + EscapeControlBytes(MaskSecrets(strForm)) + strTail).c_str());
}

void CHttpExchange::ReadHeaders(const char* pBlock, size_t nLen) {
  m_strOrigin.clear();
  m_strHost.clear();
  m_bHasOrigin = false;
  m_bHasHost = false;
  const std::string strBlock(pBlock, nLen);
  // Every line after the request line; names without regard to case, values
  // without the blanks around them. A repeated header keeps its first value.
  size_t nLine = strBlock.find("\r\n");
  while (nLine != std::string::npos && nLine + 2 < strBlock.size()) {
    const size_t nStart = nLine + 2;
    const size_t nEnd = strBlock.find("\r\n", nStart);
    const std::string strLine =
        strBlock.substr(nStart, (nEnd == std::string::npos ? strBlock.size() : nEnd) - nStart);
    nLine = nEnd;
    const size_t nColon = strLine.find(':');
    if (nColon == std::string::npos) continue;
    std::string strName = strLine.substr(0, nColon);
    for (char& c : strName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t nFirst = strLine.find_first_not_of(" \t", nColon + 1);
    const size_t nLast = strLine.find_last_not_of(" \t");
    const std::string strValue =
        nFirst == std::string::npos ? std::string() : strLine.substr(nFirst, nLast - nFirst + 1);
    if (strName == "origin" && !m_bHasOrigin) {
      m_strOrigin = strValue;
      m_bHasOrigin = true;
    } else if (strName == "host" && !m_bHasHost) {
      m_strHost = strValue;
      m_bHasHost = true;
    }
  }
}

void CHttpExchange::ParseParams(const char* szText, bool bRestore, char cDisplaced,
                                RequestParams& params) const {
  std::string strText(szText);
  if (bRestore) strText += cDisplaced;
  ParseForm(strText, params);
}

void CHttpExchange::ParseForm(const std::string& strText, RequestParams& params) const {
  WriteProcessLog(1, 3, "Client %d Request KV:\n%s\n", m_nClientNo,
                  EscapeControlBytes(MaskSecrets(strText)).c_str());

  std::vector<std::string> vecPieces;
  SplitString(strText, "&", vecPieces);
  for (std::string& strName : vecPieces) {
    std::string strValue;
    SplitKeyValue(strName, strValue, "=");
    params[strName] = UrlDecode(strValue);
  }
}

std::string ComposeResponseBody(const RequestParams& result) {
  std::string strBody = "\r\n\r\n{";
  bool bFirst = true;
  for (const auto& entry : result) {
    strBody += bFirst ? "\"" : ",\"";
    bFirst = false;
    strBody += entry.first;
    strBody += "\":\"";
    strBody += entry.second;
    strBody += '"';
  }
  strBody += "}\r\n\r\n";
  return strBody;
}

std::string CurrentHttpDate() {
  const CMyDatetime now(true, true);
  return now.Format(kHttpDatePattern);
}

bool CHttpExchange::BuildResponse(const RequestParams& result) {
  return BuildResponseDated(result, CurrentHttpDate());
}

bool CHttpExchange::BuildResponseDated(const RequestParams& result, const std::string& strDate) {
  const std::string strBody = ComposeResponseBody(result);
  const uint64_t nLimit = std::numeric_limits<int32_t>::max() - kResponseHeadroom;
  if (strBody.size() > nLimit || strDate.size() > kResponseHeadroom) return false;

  char szHeader[2 * kResponseHeadroom];
  const int nHeaderLen = std::snprintf(szHeader, sizeof(szHeader), kResponseHeader,
                                       strDate.c_str(), static_cast<int>(strBody.size()));
  if (nHeaderLen < 0 || static_cast<size_t>(nHeaderLen) >= sizeof(szHeader)) return false;

  // Room for the body, the header block and the terminator; the headroom
  // covers the header block whenever the date is an HTTP date.
  uint32_t nNeeded = static_cast<uint32_t>(strBody.size()) + kResponseHeadroom;
  if (static_cast<uint32_t>(nHeaderLen) + 1 > kResponseHeadroom) {
    nNeeded = static_cast<uint32_t>(strBody.size()) + static_cast<uint32_t>(nHeaderLen) + 1;
  }
  if (!m_pSendBuf || m_nSendBufSize < nNeeded) {
    m_nSendBufSize = 0;
    m_pSendBuf.reset(new (std::nothrow) char[nNeeded]);
    if (!m_pSendBuf) return false;
    m_nSendBufSize = nNeeded;
  }

  // Copied, not printed with "%s": a 0 byte inside a value must not cut the
  // response short of its Content-Length.
  char* pOut = m_pSendBuf.get();
  std::memcpy(pOut, szHeader, static_cast<size_t>(nHeaderLen));
  std::memcpy(pOut + nHeaderLen, strBody.data(), strBody.size());
  m_nSendLen = static_cast<uint32_t>(nHeaderLen) + static_cast<uint32_t>(strBody.size());
  pOut[m_nSendLen] = 0;
  return true;
}
