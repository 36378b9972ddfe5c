#include "libs/cloudkey/CloudKey.h"

#include <curl/curl.h>

#include <memory>

#include "libs/cloudkey/CkJson.h"

namespace {

// A reply larger than this is no valid reply of the service: the largest,
// an envelope holding a certificate, is a few kilobytes.
constexpr size_t kMaxReply = 256 * 1024;

// libcurl's global state, set up once before the first exchange (thread-safe
// through the static's initialisation) and released at exit.
class CCurlGlobal {
 public:
  CCurlGlobal() : m_bOk(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
  ~CCurlGlobal() {
    if (m_bOk) curl_global_cleanup();
  }
  bool Ok() const { return m_bOk; }

 private:
  bool m_bOk;
};

bool CurlReady() {
  static CCurlGlobal s_global;
  return s_global.Ok();
}

struct CCurlDeleter {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
struct CSlistDeleter {
  void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};

struct CReply {
  std::string strBody;
  bool bTooLarge = false;
};

size_t OnReplyBytes(char* pData, size_t nSize, size_t nCount, void* pUser) {
  CReply* pReply = static_cast<CReply*>(pUser);
  const size_t nBytes = nSize * nCount;
  if (nBytes > kMaxReply - pReply->strBody.size()) {
    pReply->bTooLarge = true;
    return 0;  // ends the transfer
  }
  pReply->strBody.append(pData, nBytes);
  return nBytes;
}

int CodeOfCurl(CURLcode rc, const CReply& reply) {
  switch (rc) {
    case CURLE_OK: return CK_OK;
    case CURLE_OPERATION_TIMEDOUT: return CK_ERR_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT: return CK_ERR_CONNECT;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CIPHER: return CK_ERR_TLS;
    case CURLE_WRITE_ERROR: return reply.bTooLarge ? CK_ERR_REPLY_TOO_LARGE : CK_ERR_EXCHANGE;
    default: return CK_ERR_EXCHANGE;
  }
}

}  // namespace

HttpClientHandler::HttpClientHandler(const char* szHost, unsigned short nPort, bool bSecure)
    : m_strHost(szHost != nullptr ? szHost : ""), m_nPort(nPort), m_bSecure(bSecure) {
  const CCloudKeyConfig config = CK_LoadConfig();
  m_strTrustAnchor = config.strTrustAnchor;
  m_nConnectTimeoutMs = config.nConnectTimeoutMs;
  m_nTimeoutMs = config.nTimeoutMs;
}

HttpClientHandler::~HttpClientHandler() = default;

std::string HttpClientHandler::GetP7DataFromService(const char* szBody, const char* szPath,
                                                    const char* szContentType,
                                                    const char* szField) {
  m_nErrNum = CK_ERR_CONFIG;
  if (!m_bSecure || m_strHost.empty() || m_nPort == 0 || szPath == nullptr || szPath[0] != '/') {
    return std::string();
  }
  m_nErrNum = CK_ERR_EXCHANGE;
  if (!CurlReady()) return std::string();
  std::unique_ptr<CURL, CCurlDeleter> pCurl(curl_easy_init());
  if (!pCurl) return std::string();

  // An IPv6 literal is written in brackets.
  const bool bV6 = m_strHost.find(':') != std::string::npos;
  const std::string strUrl = std::string("https://") + (bV6 ? "[" : "") + m_strHost +
                             (bV6 ? "]" : "") + ":" + std::to_string(m_nPort) + szPath;
  std::unique_ptr<curl_slist, CSlistDeleter> pHeaders;
  for (const std::string& strHeader :
       {std::string("Content-Type: ") + (szContentType != nullptr ? szContentType : ""),
        std::string("Expect:")}) {  // no 100-continue round trip
    curl_slist* pNew = curl_slist_append(pHeaders.get(), strHeader.c_str());
    if (pNew == nullptr) return std::string();
    pHeaders.release();
    pHeaders.reset(pNew);
  }
  CReply reply;
  CURL* p = pCurl.get();
  const char* szPost = szBody != nullptr ? szBody : "";
  bool bSet = curl_easy_setopt(p, CURLOPT_URL, strUrl.c_str()) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_POST, 1L) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_POSTFIELDS, szPost) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_POSTFIELDSIZE_LARGE,
                               static_cast<curl_off_t>(std::char_traits<char>::length(szPost))) ==
                  CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_HTTPHEADER, pHeaders.get()) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1") == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_CONNECTTIMEOUT_MS, m_nConnectTimeoutMs) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_TIMEOUT_MS, m_nTimeoutMs) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_WRITEFUNCTION, OnReplyBytes) == CURLE_OK &&
              curl_easy_setopt(p, CURLOPT_WRITEDATA, &reply) == CURLE_OK;
  if (bSet && !m_strTrustAnchor.empty()) {
    // Only the configured anchor: the system's directory of CAs is not asked.
    bSet = curl_easy_setopt(p, CURLOPT_CAINFO, m_strTrustAnchor.c_str()) == CURLE_OK &&
           curl_easy_setopt(p, CURLOPT_CAPATH, nullptr) == CURLE_OK;
  }
  if (!bSet) return std::string();

  const CURLcode rc = curl_easy_perform(p);
  m_nErrNum = CodeOfCurl(rc, reply);
  if (rc != CURLE_OK) return std::string();
  long nStatus = 0;
  curl_easy_getinfo(p, CURLINFO_RESPONSE_CODE, &nStatus);
  if (nStatus != 200) {
    m_nErrNum = CK_ERR_HTTP_STATUS;
    return std::string();
  }
  CkJsonObject obj;
  if (!CkJsonParse(reply.strBody, obj)) {
    m_nErrNum = CK_ERR_BAD_REPLY;
    return std::string();
  }
  return CkReplyMember(obj, szField, m_nErrNum);
}

bool CK_IsAvailable() { return true; }
