#include "tools/cloudsim/SimService.h"

#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "tools/cloudsim/SimBase64.h"
#include "tools/cloudsim/SimHttp.h"
#include "tools/cloudsim/SimJson.h"

namespace {

const char kServicePrefix[] = "/orvSignApp/cloud/";
const char kControlPrefix[] = "/control/";
const char kNotBase64[] = "***not base64***";
// Codes kept at most; the oldest is forgotten first.
const size_t kMaxCodes = 4096;
const long long kMaxDelayMs = 10 * 60 * 1000;
const size_t kLongMember = 1024 * 1024;
const size_t kShortSignature = 10;

CSimReply JsonReply(const CSimJsonWriter& writer) {
  CSimReply reply;
  reply.strBody = writer.Text();
  return reply;
}

CSimReply ErrorReply(int nCode, const char* szMessage) {
  return JsonReply(CSimJsonWriter().Num("errorCode", nCode).Str("message", szMessage));
}

CSimReply OkReply() { return JsonReply(CSimJsonWriter().Str("result", "ok")); }

bool StartsWith(const std::string& str, const char* szPrefix, std::string& strRest) {
  std::string strPrefix(szPrefix);
  if (str.compare(0, strPrefix.size(), strPrefix) != 0) return false;
  strRest = str.substr(strPrefix.size());
  return true;
}

bool IsBlank(const std::string& str) {
  return str.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::string RandomCode() {
  unsigned char abCode[16];
  if (RAND_bytes(abCode, sizeof(abCode)) != 1) return std::string();
  return SimHex(abCode, sizeof(abCode));
}

std::string RandomVerifyCode() {
  unsigned char ab[4];
  if (RAND_bytes(ab, sizeof(ab)) != 1) return std::string();
  unsigned long n = (static_cast<unsigned long>(ab[0]) << 24) |
                    (static_cast<unsigned long>(ab[1]) << 16) |
                    (static_cast<unsigned long>(ab[2]) << 8) | ab[3];
  char sz[8];
  std::snprintf(sz, sizeof(sz), "%06lu", n % 1000000UL);
  return sz;
}

}  // namespace

struct CSimService::CCodeState {
  bool bScanned = false;
  std::string strVerifyCode;
  CSimUserKey user;  // made at the scan, unchanged afterwards
};

// What an endpoint answers before the garbage mode is applied: an error, or
// its member and value; a sealed answer also names the member inside the
// envelope, its bytes (Base64-encoded when sealed) and the recipient.
struct CSimService::CAnswer {
  int nError = 0;
  const char* szMessage = "";
  std::string strMember;
  std::string strValue;
  std::string strInnerMember;
  std::string strInnerBytes;
  SimCert recipient;

  static CAnswer Error(int nCode, const char* szMessage) {
    CAnswer answer;
    answer.nError = nCode;
    answer.szMessage = szMessage;
    return answer;
  }
  static CAnswer Member(const char* szMember, std::string strValue) {
    CAnswer answer;
    answer.strMember = szMember;
    answer.strValue = std::move(strValue);
    return answer;
  }
};

CSimReply CSimService::Handle(const std::string& strMethod, const std::string& strPath,
                              const std::string& strBody) {
  if (strMethod != "POST") {
    CSimReply reply = ErrorReply(kSimErrMethod, "POST only");
    reply.nStatus = 405;
    return reply;
  }
  static const std::pair<const char*, EEndpoint> kEndpoints[] = {
      {"getCloudKeyAuthCode", EEndpoint::AuthCode},
      {"setQRCode", EEndpoint::SetQr},
      {"getCloudKeyState", EEndpoint::State},
      {"getSignCertByCloudKey", EEndpoint::Cert},
      {"cloudKeySignature", EEndpoint::Sign}};
  std::string strName;
  if (StartsWith(strPath, kServicePrefix, strName)) {
    for (const auto& endpoint : kEndpoints) {
      if (strName == endpoint.first) return Service(endpoint.second, strBody);
    }
  } else if (StartsWith(strPath, kControlPrefix, strName)) {
    return Control(strName, strBody);
  }
  CSimReply reply = ErrorReply(kSimErrNotFound, "no such endpoint");
  reply.nStatus = 404;
  return reply;
}

void CSimService::Stop() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bStopping = true;
  m_cvStop.notify_all();
}

CSimReply CSimService::Service(EEndpoint endpoint, const std::string& strBody) {
  int nRefuse = 0;
  ESimGarbage eGarbage = ESimGarbage::None;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_nDelayMs > 0) {
      m_cvStop.wait_for(lock, std::chrono::milliseconds(m_nDelayMs),
                        [this] { return m_bStopping; });
    }
    nRefuse = m_nRefuse;
    eGarbage = m_eGarbage;
  }
  if (nRefuse != 0) return ErrorReply(nRefuse, "refused");
  if (eGarbage == ESimGarbage::NotJson) {
    CSimReply reply;
    reply.strBody = "<html><body>not JSON</body></html>";
    return reply;
  }

  CSimReply reply = Garbled(Answer(endpoint, strBody), endpoint, eGarbage);
  // The whole answer, under a status that says it is not one.
  if (eGarbage == ESimGarbage::Status500) reply.nStatus = 500;
  return reply;
}

CSimReply CSimService::Garbled(CAnswer answer, EEndpoint endpoint, ESimGarbage eGarbage) {
  if (answer.nError != 0) return ErrorReply(answer.nError, answer.szMessage);
  if (answer.recipient) {
    std::string strInner = SimBase64Encode(answer.strInnerBytes);
    if (eGarbage == ESimGarbage::BadBase64) {
      strInner = kNotBase64;
    } else if (eGarbage == ESimGarbage::BadCert && endpoint == EEndpoint::Cert) {
      strInner = SimBase64Encode("this is not a certificate");
    } else if (eGarbage == ESimGarbage::ShortSig && endpoint == EEndpoint::Sign) {
      strInner = SimBase64Encode(answer.strInnerBytes.substr(0, kShortSignature));
    }
    std::string strDer;
    if (!CSimPki::Seal(answer.recipient.get(),
                       CSimJsonWriter().Str(answer.strInnerMember, strInner).Text(), strDer)) {
      return ErrorReply(kSimErrInternal, "reply not sealed");
    }
    answer.strValue = SimBase64Encode(strDer);
    if (eGarbage == ESimGarbage::BadEnvelope) {
      answer.strValue = SimBase64Encode("this is not a CMS envelope");
    }
  } else if (eGarbage == ESimGarbage::BadBase64) {
    answer.strValue = kNotBase64;
  }
  if (eGarbage == ESimGarbage::LongMember) answer.strValue.assign(kLongMember, 'A');

  return JsonReply(CSimJsonWriter().Str(answer.strMember, answer.strValue));
}

CSimService::CAnswer CSimService::Answer(EEndpoint endpoint, const std::string& strBody) {
  switch (endpoint) {
    case EEndpoint::AuthCode: {
      std::string strCode = RandomCode();
      if (strCode.empty()) return CAnswer::Error(kSimErrInternal, "no random code");
      std::lock_guard<std::mutex> lock(m_mutex);
      m_mapCodes.emplace(strCode, std::make_shared<CCodeState>());
      m_dequeCodes.push_back(strCode);
      while (m_dequeCodes.size() > kMaxCodes) {
        m_mapCodes.erase(m_dequeCodes.front());
        m_dequeCodes.pop_front();
      }
      return CAnswer::Member("cloudKey", strCode);
    }
    case EEndpoint::SetQr: {
      std::string strCode;
      if (!SimFormValue(strBody, "cloudKey", strCode)) {
        return CAnswer::Error(kSimErrBadRequest, "no cloudKey");
      }
      if (!Find(strCode)) return CAnswer::Error(kSimErrUnknownCode, "unknown cloudKey");
      return CAnswer::Member("result", "tolvan-cloudkey:" + strCode);
    }
    case EEndpoint::State: {
      CSimJsonObject request;
      if (!request.Parse(strBody) || !request.Has("cloudKey")) {
        return CAnswer::Error(kSimErrBadRequest, "no cloudKey");
      }
      std::shared_ptr<CCodeState> state = Find(request.Get("cloudKey"));
      if (!state) return CAnswer::Error(kSimErrUnknownCode, "unknown cloudKey");
      std::lock_guard<std::mutex> lock(m_mutex);
      return CAnswer::Member("state", state->bScanned ? "2" : "0");
    }
    case EEndpoint::Cert:
    case EEndpoint::Sign:
      return Sealed(endpoint, strBody);
  }
  return CAnswer::Error(kSimErrNotFound, "no such endpoint");
}

CSimService::CAnswer CSimService::Sealed(EEndpoint endpoint, const std::string& strBody) {
  CSimJsonObject outer;
  std::string strDer;
  std::string strContent;
  CSimJsonObject request;
  if (!outer.Parse(strBody) || !SimBase64Decode(outer.Get("envelope"), strDer) ||
      !m_pki.OpenEnvelope(strDer, strContent) || !request.Parse(strContent)) {
    return CAnswer::Error(kSimErrBadRequest, "envelope not opened");
  }
  std::shared_ptr<CCodeState> state = Find(request.Get("authCode"));
  if (!state) return CAnswer::Error(kSimErrUnknownCode, "unknown cloudKey");
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!state->bScanned) return CAnswer::Error(kSimErrNotScanned, "not scanned");
    if (!request.Has("verifyCode") || request.Get("verifyCode") != state->strVerifyCode) {
      return CAnswer::Error(kSimErrWrongVerify, "wrong verifyCode");
    }
  }
  CAnswer answer = CAnswer::Member("envelope", std::string());
  std::string strCertDer;
  if (SimBase64Decode(request.Get("cert"), strCertDer)) {
    answer.recipient = CSimPki::ParseCertDer(strCertDer);
  }
  if (!answer.recipient || X509_get0_pubkey(answer.recipient.get()) == nullptr ||
      EVP_PKEY_get_base_id(X509_get0_pubkey(answer.recipient.get())) != EVP_PKEY_RSA) {
    return CAnswer::Error(kSimErrBadCert, "cert not usable");
  }

  if (endpoint == EEndpoint::Cert) {
    unsigned char* pDer = nullptr;
    int nLen = i2d_X509(state->user.cert.get(), &pDer);
    if (nLen <= 0) return CAnswer::Error(kSimErrInternal, "certificate not encoded");
    answer.strInnerBytes.assign(reinterpret_cast<char*>(pDer), static_cast<size_t>(nLen));
    OPENSSL_free(pDer);
    answer.strInnerMember = "certB64";
    return answer;
  }

  std::string strData;
  if (!request.Has("data") || !SimBase64Decode(request.Get("data"), strData)) {
    return CAnswer::Error(kSimErrBadData, "data not Base64");
  }
  if (!CSimPki::Sign(state->user.key.get(), strData, answer.strInnerBytes)) {
    return CAnswer::Error(kSimErrInternal, "not signed");
  }
  // Least significant byte first, as the Windows CryptoAPI writes signatures.
  std::reverse(answer.strInnerBytes.begin(), answer.strInnerBytes.end());
  answer.strInnerMember = "signedB64";
  return answer;
}

CSimReply CSimService::Control(const std::string& strName, const std::string& strBody) {
  if (strName == "scan") return Scan(strBody);
  if (strName == "reset") {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nRefuse = 0;
    m_nDelayMs = 0;
    m_eGarbage = ESimGarbage::None;
    return OkReply();
  }
  CSimJsonObject request;
  long long n = 0;
  if (strName == "refuse") {
    if (!request.Parse(strBody) || !request.GetInt("errorCode", INT32_MIN, INT32_MAX, n) ||
        n == 0) {
      return ErrorReply(kSimErrBadControl, "errorCode must be a non-zero int");
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nRefuse = static_cast<int>(n);
    return OkReply();
  }
  if (strName == "slow") {
    if (!request.Parse(strBody) || !request.GetInt("delayMs", 0, kMaxDelayMs, n)) {
      return ErrorReply(kSimErrBadControl, "delayMs must be 0 to 600000");
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nDelayMs = n;
    return OkReply();
  }
  if (strName == "garbage") {
    static const std::pair<const char*, ESimGarbage> kModes[] = {
        {"notjson", ESimGarbage::NotJson},         {"status500", ESimGarbage::Status500},
        {"longmember", ESimGarbage::LongMember},   {"badbase64", ESimGarbage::BadBase64},
        {"badenvelope", ESimGarbage::BadEnvelope}, {"badcert", ESimGarbage::BadCert},
        {"shortsig", ESimGarbage::ShortSig}};
    if (request.Parse(strBody)) {
      for (const auto& mode : kModes) {
        if (request.Get("mode") != mode.first) continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_eGarbage = mode.second;
        return OkReply();
      }
    }
    return ErrorReply(kSimErrBadControl, "unknown garbage mode");
  }
  CSimReply reply = ErrorReply(kSimErrNotFound, "no such endpoint");
  reply.nStatus = 404;
  return reply;
}

CSimReply CSimService::Scan(const std::string& strBody) {
  std::string strCode;
  if (IsBlank(strBody)) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_dequeCodes.empty()) strCode = m_dequeCodes.back();
  } else {
    CSimJsonObject request;
    if (!request.Parse(strBody)) return ErrorReply(kSimErrBadRequest, "body is not JSON");
    strCode = request.Get("cloudKey");
  }
  std::shared_ptr<CCodeState> state = Find(strCode);
  if (!state) return ErrorReply(kSimErrUnknownCode, "unknown cloudKey");

  bool bScanned = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    bScanned = state->bScanned;
  }
  // The key pair is made outside the lock; a scan that races this one and
  // finishes first wins, and both answer its verification code.
  CSimUserKey user;
  std::string strVerify = RandomVerifyCode();
  if (!bScanned &&
      (strVerify.empty() || !m_pki.IssueUserKey("Cloud User " + strCode.substr(0, 8), user))) {
    return ErrorReply(kSimErrInternal, "user key not made");
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!state->bScanned) {
    state->user = std::move(user);
    state->strVerifyCode = strVerify;
    state->bScanned = true;
  }
  return JsonReply(CSimJsonWriter().Str("verifyCode", state->strVerifyCode).Str("state", "2"));
}

std::shared_ptr<CSimService::CCodeState> CSimService::Find(const std::string& strCode) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_mapCodes.find(strCode);
  return it == m_mapCodes.end() ? nullptr : it->second;
}
