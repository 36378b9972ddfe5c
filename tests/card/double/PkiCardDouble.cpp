// Test double of the card library: deterministic answers, recorded calls and
// switches that make a function fail. See PkiCardDouble.h.

#include "tests/card/double/PkiCardDouble.h"
#include "tests/support/TestText.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

// Plain C linkage: with no explicit export attribute anywhere, MinGW exports
// every function of the DLL, and ELF exports them by default.
#define DBL_EXPORT extern "C"

struct PkiBlob {
  uint32_t nLen;
  unsigned char* pData;
};

namespace {

struct CDoubleState {
  std::mutex mtx;
  std::string strLog;
  std::map<std::string, int> mapFail;
  std::map<std::string, bool> mapOverreport;
  std::map<std::string, std::pair<void (*)(void*), void*>> mapHooks;
  bool bOpen = false;
};

CDoubleState& State() {
  static CDoubleState s_state;
  return s_state;
}

// Records the call and runs its hook. Returns the failure code switched on
// for the function, or 0.
int Enter(const char* szFunction, const std::string& strArgs) {
  CDoubleState& st = State();
  std::pair<void (*)(void*), void*> hook(nullptr, nullptr);
  int nFail = 0;
  {
    std::lock_guard<std::mutex> guard(st.mtx);
    st.strLog += szFunction;
    if (!strArgs.empty()) st.strLog += " " + strArgs;
    st.strLog += "\n";
    auto itHook = st.mapHooks.find(szFunction);
    if (itHook != st.mapHooks.end()) hook = itHook->second;
    auto itFail = st.mapFail.find(szFunction);
    if (itFail != st.mapFail.end()) nFail = itFail->second;
  }
  if (hook.first != nullptr) hook.first(hook.second);
  return nFail;
}

bool Overreports(const char* szFunction) {
  std::lock_guard<std::mutex> guard(State().mtx);
  auto it = State().mapOverreport.find(szFunction);
  return it != State().mapOverreport.end() && it->second;
}

bool IsOpen() {
  std::lock_guard<std::mutex> guard(State().mtx);
  return State().bOpen;
}

std::string Text(uint32_t nLen, const unsigned char* p) {
  return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p), nLen);
}

// Writes strOut into the blob under the capacity rules.
int Produce(const char* szFunction, const std::string& strOut, PkiBlob* pOut) {
  if (pOut == nullptr) return DBL_ERR_INVALID_ARG;
  if (pOut->pData == nullptr || pOut->nLen < strOut.size()) {
    pOut->nLen = static_cast<uint32_t>(strOut.size());
    return DBL_ERR_BUFFER_TOO_SMALL;
  }
  uint32_t nCapacity = pOut->nLen;
  std::memcpy(pOut->pData, strOut.data(), strOut.size());
  pOut->nLen = static_cast<uint32_t>(strOut.size());
  if (Overreports(szFunction)) pOut->nLen = nCapacity + 1;
  return 0;
}

// Base64 of the tests' own helper; text that is not Base64 decodes to
// nothing (a valid non-empty text never does).
bool DecodeBase64(const std::string& strIn, std::string& strOut) {
  strOut = FromBase64(strIn);
  return strIn.empty() || !strOut.empty();
}

std::string SignatureOf(const std::string& strLabel, int nAlgo, const std::string& strData) {
  return "SIG(" + strLabel + "," + std::to_string(nAlgo) + "):" + strData;
}

}  // namespace

DBL_EXPORT void dblReset(void) {
  std::lock_guard<std::mutex> guard(State().mtx);
  State().strLog.clear();
  State().mapFail.clear();
  State().mapOverreport.clear();
  State().mapHooks.clear();
  State().bOpen = false;
}

DBL_EXPORT void dblClearLog(void) {
  std::lock_guard<std::mutex> guard(State().mtx);
  State().strLog.clear();
}

DBL_EXPORT void dblFailWith(const char* szFunction, int nCode) {
  std::lock_guard<std::mutex> guard(State().mtx);
  State().mapFail[szFunction] = nCode;
}

DBL_EXPORT void dblOverreport(const char* szFunction) {
  std::lock_guard<std::mutex> guard(State().mtx);
  State().mapOverreport[szFunction] = true;
}

DBL_EXPORT void dblOnCall(const char* szFunction, void (*pfn)(void*), void* pArg) {
  std::lock_guard<std::mutex> guard(State().mtx);
  State().mapHooks[szFunction] = std::make_pair(pfn, pArg);
}

DBL_EXPORT int dblCallLog(char* pBuf, int nSize) {
  std::lock_guard<std::mutex> guard(State().mtx);
  const std::string& strLog = State().strLog;
  if (pBuf != nullptr && nSize > 0) {
    size_t nCopy = strLog.size() < static_cast<size_t>(nSize) ? strLog.size() : nSize - 1;
    std::memcpy(pBuf, strLog.data(), nCopy);
    pBuf[nCopy] = '\0';
  }
  return static_cast<int>(strLog.size());
}

DBL_EXPORT int pkiInit(void) {
  if (int nFail = Enter("pkiInit", "")) return nFail;
  std::lock_guard<std::mutex> guard(State().mtx);
  State().bOpen = true;
  return 0;
}

DBL_EXPORT int pkiEnd(void) {
  Enter("pkiEnd", "");
  std::lock_guard<std::mutex> guard(State().mtx);
  State().bOpen = false;
  return 0;
}

DBL_EXPORT int pkiBase64Decode(uint32_t nTextLen, const char* pText, PkiBlob* pOut) {
  bool bSizeOnly = pOut != nullptr && pOut->pData == nullptr;
  std::string strArgs = std::string(bSizeOnly ? "size " : "") + Text(nTextLen,
      reinterpret_cast<const unsigned char*>(pText));
  if (int nFail = Enter("pkiBase64Decode", strArgs)) return nFail;
  if (pOut == nullptr || (pText == nullptr && nTextLen > 0)) return DBL_ERR_INVALID_ARG;
  std::string strOut;
  if (!DecodeBase64(Text(nTextLen, reinterpret_cast<const unsigned char*>(pText)), strOut)) {
    if (bSizeOnly) {
      pOut->nLen = nTextLen / 4 * 3;
      return 0;
    }
    pOut->nLen = 0;
    return DBL_ERR_BAD_BASE64;
  }
  if (bSizeOnly) {
    pOut->nLen = static_cast<uint32_t>(strOut.size());
    if (Overreports("pkiBase64Decode")) pOut->nLen = 0xFFFFFFF0u;
    return 0;
  }
  return Produce("pkiBase64Decode", strOut, pOut);
}

DBL_EXPORT int pkiBase64Encode(uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut) {
  bool bSizeOnly = pOut != nullptr && pOut->pData == nullptr;
  if (int nFail = Enter("pkiBase64Encode", bSizeOnly ? "size" : "")) return nFail;
  if (pOut == nullptr || (pData == nullptr && nDataLen > 0)) return DBL_ERR_INVALID_ARG;
  std::string strText = ToBase64(Text(nDataLen, pData));
  if (bSizeOnly) {
    pOut->nLen = static_cast<uint32_t>(strText.size());
    return 0;
  }
  if (pOut->nLen < strText.size() + 1) {
    pOut->nLen = static_cast<uint32_t>(strText.size());
    return DBL_ERR_BUFFER_TOO_SMALL;
  }
  std::memcpy(pOut->pData, strText.c_str(), strText.size() + 1);
  pOut->nLen = static_cast<uint32_t>(strText.size());
  return 0;
}

DBL_EXPORT int pkiReadLabel(const char* szLabel, int nFlag, unsigned char* pBuf, uint32_t* pnLen) {
  std::string strLabel = szLabel != nullptr ? szLabel : "";
  if (int nFail = Enter("pkiReadLabel", strLabel + " " + std::to_string(nFlag))) return nFail;
  if (!IsOpen()) return DBL_ERR_NOT_INITIALISED;
  if (szLabel == nullptr || nFlag != 1 || pnLen == nullptr) return DBL_ERR_INVALID_ARG;
  PkiBlob blob = {*pnLen, pBuf};
  int nResult = Produce("pkiReadLabel", "CERT:" + strLabel, &blob);
  *pnLen = blob.nLen;
  return nResult;
}

DBL_EXPORT int pkiCheckCert(uint32_t nCertLen, const unsigned char* pCert, uint32_t n1, uint32_t n2,
                            uint32_t n3, uint32_t n4, uint32_t n5, uint32_t n6) {
  std::string strCert = Text(nCertLen, pCert);
  if (int nFail = Enter("pkiCheckCert", strCert)) return nFail;
  if ((n1 | n2 | n3 | n4 | n5 | n6) != 0) return DBL_ERR_INVALID_ARG;
  return strCert.compare(0, 5, "CERT:") == 0 ? 0 : DBL_ERR_BAD_CERT;
}

DBL_EXPORT int pkiGetXMLCertInfo(uint32_t nCertLen, const unsigned char* pCert, PkiBlob* pOut) {
  std::string strCert = Text(nCertLen, pCert);
  if (int nFail = Enter("pkiGetXMLCertInfo", strCert)) return nFail;
  if (strCert.compare(0, 5, "CERT:") != 0) return DBL_ERR_BAD_CERT;
  return Produce("pkiGetXMLCertInfo", "<cert>" + strCert + "</cert>", pOut);
}

DBL_EXPORT int pkiGetCertInfoEx(uint32_t nCertLen, const unsigned char* pCert, void* pRecord,
                                int* pnAlgo) {
  std::string strCert = Text(nCertLen, pCert);
  if (int nFail = Enter("pkiGetCertInfoEx", strCert + " preset=" +
                        std::to_string(pnAlgo != nullptr ? *pnAlgo : -1))) {
    return nFail;
  }
  if (pRecord == nullptr || pnAlgo == nullptr) return DBL_ERR_INVALID_ARG;
  if (strCert.compare(0, 5, "CERT:") != 0) return DBL_ERR_BAD_CERT;
  *pnAlgo = strCert.compare(0, 9, "CERT:ZERO") == 0 ? 0 : 7;
  return 0;
}

DBL_EXPORT int pkiSealEnvelope(uint32_t nCertLen, const unsigned char* pCert, int nSymmAlgo,
                               uint32_t nPlainLen, const unsigned char* pPlain, PkiBlob* pOut) {
  std::string strCert = Text(nCertLen, pCert);
  std::string strPlain = Text(nPlainLen, pPlain);
  if (int nFail = Enter("pkiSealEnvelope", strCert + " " + std::to_string(nSymmAlgo) + " " +
                        strPlain)) {
    return nFail;
  }
  if (strCert.compare(0, 5, "CERT:") != 0) return DBL_ERR_BAD_CERT;
  if (nSymmAlgo < 1 || nSymmAlgo > 4) return DBL_ERR_INVALID_ARG;
  return Produce("pkiSealEnvelope", "ENV" + std::to_string(nSymmAlgo) + ":" + strPlain, pOut);
}

DBL_EXPORT int pkiOpenEnvelope(const char* szKeyLabel, const char* szPasswd, uint32_t nEnvLen,
                               const unsigned char* pEnv, PkiBlob* pOut) {
  std::string strLabel = szKeyLabel != nullptr ? szKeyLabel : "";
  std::string strPasswd = szPasswd != nullptr ? szPasswd : "";
  std::string strEnv = Text(nEnvLen, pEnv);
  if (int nFail = Enter("pkiOpenEnvelope", strLabel + " " + strPasswd + " " + strEnv)) return nFail;
  if (!IsOpen()) return DBL_ERR_NOT_INITIALISED;
  if (strPasswd != "1234") return DBL_ERR_PIN_INCORRECT;
  if (strEnv.size() < 5 || strEnv.compare(0, 3, "ENV") != 0 || strEnv[4] != ':') {
    return DBL_ERR_BAD_ENVELOPE;
  }
  return Produce("pkiOpenEnvelope", strEnv.substr(5), pOut);
}

DBL_EXPORT int pkiGetSignature(const char* szLabel, const char* szPasswd, int nDigestAlgo,
                               uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut) {
  std::string strLabel = szLabel != nullptr ? szLabel : "";
  std::string strPasswd = szPasswd != nullptr ? szPasswd : "";
  std::string strData = Text(nDataLen, pData);
  if (int nFail = Enter("pkiGetSignature", strLabel + " " + strPasswd + " " +
                        std::to_string(nDigestAlgo) + " " + strData)) {
    return nFail;
  }
  if (!IsOpen()) return DBL_ERR_NOT_INITIALISED;
  if (strPasswd != "1234") return DBL_ERR_PIN_INCORRECT;
  return Produce("pkiGetSignature", SignatureOf(strLabel, nDigestAlgo, strData), pOut);
}

DBL_EXPORT int pkiVerifySignature(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                                  const unsigned char* pData, uint32_t nSigLen,
                                  const unsigned char* pSig) {
  std::string strCert = Text(nCertLen, pCert);
  std::string strData = Text(nDataLen, pData);
  std::string strSig = Text(nSigLen, pSig);
  if (int nFail = Enter("pkiVerifySignature", strCert + " " + strData + " " + strSig)) return nFail;
  if (strCert.compare(0, 5, "CERT:") != 0) return DBL_ERR_BAD_CERT;
  size_t nColon = strSig.find("):");
  bool bValid = strSig.compare(0, 4, "SIG(") == 0 && nColon != std::string::npos &&
                strSig.substr(nColon + 2) == strData;
  return bValid ? 0 : DBL_ERR_SIGNATURE_INVALID;
}

DBL_EXPORT int pkiGenerateRandom(int nCount, PkiBlob* pOut) {
  if (int nFail = Enter("pkiGenerateRandom", std::to_string(nCount))) return nFail;
  if (nCount < 0) return DBL_ERR_INVALID_ARG;
  std::string strOut(static_cast<size_t>(nCount), '\0');
  for (int i = 0; i < nCount; ++i) strOut[i] = static_cast<char>((i * 37 + 11) & 0xFF);
  return Produce("pkiGenerateRandom", strOut, pOut);
}

// The partial build leaves this function out, to stand for a library that
// lacks one function of the interface.
#if !defined(PKICARD_DOUBLE_PARTIAL)
DBL_EXPORT int pkiHashData(int nHashAlgo, uint32_t nDataLen, const unsigned char* pData,
                           PkiBlob* pOut) {
  std::string strData = Text(nDataLen, pData);
  if (int nFail = Enter("pkiHashData", std::to_string(nHashAlgo) + " " + strData)) return nFail;
  if (nHashAlgo < 1 || nHashAlgo > 5) return DBL_ERR_INVALID_ARG;
  uint64_t nHash = 14695981039346656037ull;
  for (unsigned char c : strData) nHash = (nHash ^ c) * 1099511628211ull;
  std::string strOut(8, '\0');
  for (int i = 0; i < 8; ++i) strOut[i] = static_cast<char>((nHash >> (56 - 8 * i)) & 0xFF);
  strOut[0] = static_cast<char>(strOut[0] ^ nHashAlgo);
  return Produce("pkiHashData", strOut, pOut);
}
#endif

DBL_EXPORT int pkiSymmCryptData(int nMode, int nSymmAlgo, uint32_t nKeyLen,
                                const unsigned char* pKey, uint32_t nInLen,
                                const unsigned char* pIn, PkiBlob* pOut) {
  std::string strKey = Text(nKeyLen, pKey);
  std::string strIn = Text(nInLen, pIn);
  if (int nFail = Enter("pkiSymmCryptData", std::to_string(nMode) + " " +
                        std::to_string(nSymmAlgo) + " " + strKey + " " + strIn)) {
    return nFail;
  }
  if (strKey.empty() || nSymmAlgo < 1 || nSymmAlgo > 4 || (nMode != 0 && nMode != 1)) {
    return DBL_ERR_INVALID_ARG;
  }
  std::string strBody = nMode == 1 ? strIn : strIn.substr(strIn.empty() ? 0 : 1);
  if (nMode == 0 && (strIn.empty() || strIn[0] != 'E')) return DBL_ERR_INVALID_ARG;
  for (size_t i = 0; i < strBody.size(); ++i) {
    strBody[i] = static_cast<char>(strBody[i] ^ strKey[i % strKey.size()]);
  }
  return Produce("pkiSymmCryptData", nMode == 1 ? "E" + strBody : strBody, pOut);
}
