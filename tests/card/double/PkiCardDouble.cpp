// Test double of the card library: deterministic answers, recorded calls and
// switches that make a function fail. See PkiCardDouble.h.

#include "tests/card/double/PkiCardDouble.h"
#include "tests/support/TestText.h"

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

struct CSwitches {
  int nFail = 0;
  bool bOverreport = false;
  void (*pfnHook)() = nullptr;
};

std::mutex g_mtx;
std::string g_strLog;
std::map<std::string, CSwitches> g_mapSwitches;

// Records the call, runs its hook and returns the function's switches.
CSwitches Enter(const char* szFunction, const std::string& strArgs) {
  CSwitches sw;
  {
    std::lock_guard<std::mutex> guard(g_mtx);
    g_strLog += std::string(szFunction) + (strArgs.empty() ? "" : " " + strArgs) + "\n";
    auto it = g_mapSwitches.find(szFunction);
    if (it != g_mapSwitches.end()) sw = it->second;
  }
  if (sw.pfnHook != nullptr) sw.pfnHook();
  return sw;
}

std::string Text(uint32_t nLen, const void* p) {
  return p == nullptr ? std::string() : std::string(static_cast<const char*>(p), nLen);
}
std::string Str(const char* sz) { return sz != nullptr ? sz : ""; }
bool IsCert(const std::string& strCert) { return strCert.compare(0, 5, "CERT:") == 0; }

// Writes strOut into the blob under the capacity rules.
int Produce(const CSwitches& sw, const std::string& strOut, PkiBlob* pOut) {
  if (pOut->pData == nullptr || pOut->nLen < strOut.size()) {
    pOut->nLen = static_cast<uint32_t>(strOut.size());
    return DBL_ERR_BUFFER_TOO_SMALL;
  }
  const uint32_t nCapacity = pOut->nLen;
  std::memcpy(pOut->pData, strOut.data(), strOut.size());
  pOut->nLen = sw.bOverreport ? nCapacity + 1 : static_cast<uint32_t>(strOut.size());
  return 0;
}

}  // namespace

DBL_EXPORT void dblSwitch(const char* szFunction, int nFail, int bOverreport, void (*pfnHook)()) {
  std::lock_guard<std::mutex> guard(g_mtx);
  if (szFunction == nullptr) {
    g_mapSwitches.clear();
  } else {
    g_mapSwitches[szFunction] = CSwitches{nFail, bOverreport != 0, pfnHook};
  }
}

DBL_EXPORT const char* dblCallLog(int bClear, size_t* pnLen) {
  static std::string s_strCopy;
  std::lock_guard<std::mutex> guard(g_mtx);
  s_strCopy = g_strLog;
  *pnLen = s_strCopy.size();
  if (bClear != 0) g_strLog.clear();
  return s_strCopy.data();
}

DBL_EXPORT int pkiInit(void) { return Enter("pkiInit", "").nFail; }

DBL_EXPORT int pkiEnd(void) { return Enter("pkiEnd", "").nFail; }

// Both Base64 functions follow the two-call protocol: a blob without data
// asks for the size only. Text that is not Base64 decodes to nothing (a
// valid non-empty text never does).
DBL_EXPORT int pkiBase64Decode(uint32_t nTextLen, const char* pText, PkiBlob* pOut) {
  const bool bSizeOnly = pOut != nullptr && pOut->pData == nullptr;
  const std::string strText = Text(nTextLen, pText);
  const CSwitches sw = Enter("pkiBase64Decode", (bSizeOnly ? "size " : "") + strText);
  if (sw.nFail != 0) return sw.nFail;
  const std::string strOut = FromBase64(strText);
  if (!strText.empty() && strOut.empty()) {
    pOut->nLen = bSizeOnly ? nTextLen / 4 * 3 : 0;
    return bSizeOnly ? 0 : DBL_ERR_BAD_BASE64;
  }
  if (!bSizeOnly) return Produce(sw, strOut, pOut);
  pOut->nLen = sw.bOverreport ? 0xFFFFFFF0u : static_cast<uint32_t>(strOut.size());
  return 0;
}

DBL_EXPORT int pkiBase64Encode(uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut) {
  const bool bSizeOnly = pOut != nullptr && pOut->pData == nullptr;
  if (int nFail = Enter("pkiBase64Encode", bSizeOnly ? "size" : "").nFail) return nFail;
  const std::string strText = ToBase64(Text(nDataLen, pData));
  const bool bFits = !bSizeOnly && pOut->nLen >= strText.size() + 1;
  if (bFits) std::memcpy(pOut->pData, strText.c_str(), strText.size() + 1);
  pOut->nLen = static_cast<uint32_t>(strText.size());
  return bSizeOnly || bFits ? 0 : DBL_ERR_BUFFER_TOO_SMALL;
}

DBL_EXPORT int pkiReadLabel(const char* szLabel, int nFlag, unsigned char* pBuf, uint32_t* pnLen) {
  const CSwitches sw = Enter("pkiReadLabel", Str(szLabel) + " " + std::to_string(nFlag));
  if (sw.nFail != 0) return sw.nFail;
  PkiBlob blob = {*pnLen, pBuf};
  const int nResult = Produce(sw, "CERT:" + Str(szLabel), &blob);
  *pnLen = blob.nLen;
  return nResult;
}

DBL_EXPORT int pkiCheckCert(uint32_t nCertLen, const unsigned char* pCert, uint32_t, uint32_t,
                            uint32_t, uint32_t, uint32_t, uint32_t) {
  const std::string strCert = Text(nCertLen, pCert);
  if (int nFail = Enter("pkiCheckCert", strCert).nFail) return nFail;
  return IsCert(strCert) ? 0 : DBL_ERR_BAD_CERT;
}

DBL_EXPORT int pkiGetXMLCertInfo(uint32_t nCertLen, const unsigned char* pCert, PkiBlob* pOut) {
  const std::string strCert = Text(nCertLen, pCert);
  const CSwitches sw = Enter("pkiGetXMLCertInfo", "");
  if (sw.nFail != 0) return sw.nFail;
  return IsCert(strCert) ? Produce(sw, "<cert>" + strCert + "</cert>", pOut) : DBL_ERR_BAD_CERT;
}

DBL_EXPORT int pkiGetCertInfoEx(uint32_t nCertLen, const unsigned char* pCert, void*, int* pnAlgo) {
  const std::string strCert = Text(nCertLen, pCert);
  const std::string strPreset = std::to_string(pnAlgo != nullptr ? *pnAlgo : -1);
  if (int nFail = Enter("pkiGetCertInfoEx", strCert + " preset=" + strPreset).nFail) return nFail;
  if (!IsCert(strCert)) return DBL_ERR_BAD_CERT;
  *pnAlgo = strCert.compare(0, 9, "CERT:ZERO") == 0 ? 0 : 7;
  return 0;
}

DBL_EXPORT int pkiSealEnvelope(uint32_t nCertLen, const unsigned char* pCert, int nSymmAlgo,
                               uint32_t nPlainLen, const unsigned char* pPlain, PkiBlob* pOut) {
  const CSwitches sw = Enter("pkiSealEnvelope", "");
  if (sw.nFail != 0) return sw.nFail;
  if (!IsCert(Text(nCertLen, pCert))) return DBL_ERR_BAD_CERT;
  return Produce(sw, "ENV" + std::to_string(nSymmAlgo) + ":" + Text(nPlainLen, pPlain), pOut);
}

DBL_EXPORT int pkiOpenEnvelope(const char* szKeyLabel, const char* szPasswd, uint32_t nEnvLen,
                               const unsigned char* pEnv, PkiBlob* pOut) {
  const std::string strEnv = Text(nEnvLen, pEnv);
  const CSwitches sw = Enter("pkiOpenEnvelope", Str(szKeyLabel));
  if (sw.nFail != 0) return sw.nFail;
  if (Str(szPasswd) != "1234") return DBL_ERR_PIN_INCORRECT;
  if (strEnv.size() < 5 || strEnv.compare(0, 3, "ENV") != 0 || strEnv[4] != ':') {
    return DBL_ERR_BAD_ENVELOPE;
  }
  return Produce(sw, strEnv.substr(5), pOut);
}

DBL_EXPORT int pkiGetSignature(const char* szLabel, const char* szPasswd, int nDigestAlgo,
                               uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut) {
  const CSwitches sw = Enter("pkiGetSignature", Str(szLabel));
  if (sw.nFail != 0) return sw.nFail;
  if (Str(szPasswd) != "1234") return DBL_ERR_PIN_INCORRECT;
  const std::string strAlgo = std::to_string(nDigestAlgo);
  return Produce(sw, "SIG(" + Str(szLabel) + "," + strAlgo + "):" + Text(nDataLen, pData), pOut);
}

DBL_EXPORT int pkiVerifySignature(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                                  const unsigned char* pData, uint32_t nSigLen,
                                  const unsigned char* pSig) {
  const std::string strCert = Text(nCertLen, pCert);
  const std::string strData = Text(nDataLen, pData);
  const std::string strSig = Text(nSigLen, pSig);
  if (int nFail = Enter("pkiVerifySignature", "").nFail) return nFail;
  if (!IsCert(strCert)) return DBL_ERR_BAD_CERT;
  const size_t nColon = strSig.find("):");
  const bool bValid = strSig.compare(0, 4, "SIG(") == 0 && nColon != std::string::npos &&
                      strSig.substr(nColon + 2) == strData;
  return bValid ? 0 : DBL_ERR_SIGNATURE_INVALID;
}

DBL_EXPORT int pkiGenerateRandom(int nCount, PkiBlob* pOut) {
  const CSwitches sw = Enter("pkiGenerateRandom", std::to_string(nCount));
  if (sw.nFail != 0) return sw.nFail;
  if (nCount < 0) return DBL_ERR_INVALID_ARG;
  return Produce(sw, std::string(static_cast<size_t>(nCount), '\x5a'), pOut);
}

// The partial build leaves this function out, to stand for a library that
// lacks one function of the interface.
#if !defined(PKICARD_DOUBLE_PARTIAL)
DBL_EXPORT int pkiHashData(int nHashAlgo, uint32_t nDataLen, const unsigned char* pData,
                           PkiBlob* pOut) {
  const CSwitches sw = Enter("pkiHashData", "");
  if (sw.nFail != 0) return sw.nFail;
  return Produce(sw, "H" + std::to_string(nHashAlgo) + ":" + Text(nDataLen, pData), pOut);
}
#endif

DBL_EXPORT int pkiSymmCryptData(int nMode, int nSymmAlgo, uint32_t nKeyLen,
                                const unsigned char* pKey, uint32_t nInLen,
                                const unsigned char* pIn, PkiBlob* pOut) {
  const std::string strKey = Text(nKeyLen, pKey);
  const std::string strIn = Text(nInLen, pIn);
  const CSwitches sw = Enter("pkiSymmCryptData", std::to_string(nMode) + " " +
                                                     std::to_string(nSymmAlgo) + " " + strKey + " " + strIn);
  if (sw.nFail != 0) return sw.nFail;
  const bool bEncrypt = nMode == 1;
  if (strKey.empty() || (!bEncrypt && (strIn.empty() || strIn[0] != 'E'))) return DBL_ERR_INVALID_ARG;
  std::string strBody = bEncrypt ? strIn : strIn.substr(1);
  for (size_t i = 0; i < strBody.size(); ++i) {
    strBody[i] = static_cast<char>(strBody[i] ^ strKey[i % strKey.size()]);
  }
  return Produce(sw, bEncrypt ? "E" + strBody : strBody, pOut);
}
