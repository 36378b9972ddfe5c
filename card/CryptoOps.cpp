#include "card/CryptoOps.h"

#include "base/system/DebugOutput.h"
#include "card/ApiResult.h"
#include "card/CardLifecycle.h"
#include "card/CardParams.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t Len32(size_t nLen) { return static_cast<uint32_t>(nLen); }

// Looks up each key in order; false at the first one absent.
bool FindAll(const RequestParams& request, std::initializer_list<const char*> keys,
             std::initializer_list<const std::string**> values) {
  auto itValue = values.begin();
  for (const char* szKey : keys) {
    const std::string* pValue = FindParam(request, szKey);
    if (pValue == nullptr) return false;
    **itValue++ = pValue;
  }
  return true;
}

}  // namespace

int advSignData(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  const std::string* pLabel = FindParam(request, "label");
  if (pLabel == nullptr) {
    resetCardLibrary(funcs);
    return API_MISSING_PARAM;
  }
  const std::string *pPasswd = nullptr, *pDigest = nullptr, *pSignType = nullptr, *pClear = nullptr;
  if (!FindAll(request, {"keyPasswd", "digestAlgo", "signType", "clearText"},
               {&pPasswd, &pDigest, &pSignType, &pClear})) {
    return API_MISSING_PARAM;
  }
  int nDigestAlgo = ParseDecimal(*pDigest);
  int nSignType = ParseDecimal(*pSignType);

  if (nSignType != 2) {
    return funcs.pkiGetSignature(pLabel->c_str(), pPasswd->c_str(), nDigestAlgo,
                                   Len32(pClear->size()), BytesOf(*pClear), &out);
  }
  // signType 2: the text to sign is Base64. Signing what a failed decoding
  // left would sign the wrong data, so its failure is the answer.
  std::vector<unsigned char> vClear;
  int nResult = PkiDecodeBase64(funcs, *pClear, vClear);
  if (nResult != 0) return nResult;
  if (DebugOutputEnabled()) {
    char szSize[64];
    std::snprintf(szSize, sizeof(szSize), "i_clearText2 size=%d", static_cast<int>(vClear.size()));
    DebugOutput(szSize);
    DebugOutput(std::string(vClear.begin(), vClear.end()).c_str());
  }
  return funcs.pkiGetSignature(pLabel->c_str(), pPasswd->c_str(), nDigestAlgo,
                                 Len32(vClear.size()), BytesOf(vClear), &out);
}

int advVerifySign(const CCardFunctions& funcs, const RequestParams& request) {
  const std::string *pClear = nullptr, *pCert64 = nullptr, *pSig64 = nullptr, *pDigest = nullptr, *pSignType = nullptr;
  if (!FindAll(request, {"clearText", "sigCert64", "sigData64", "digestAlgo", "signType"},
               {&pClear, &pCert64, &pSig64, &pDigest, &pSignType})) {
    return API_MISSING_PARAM;
  }
  // digestAlgo and signType are required but change nothing: the library
  // reads the algorithm from the signature and clearText is always raw.

  return ResetOnFailure(funcs, WithDecodedBase64(funcs, *pCert64, [&](const Bytes& vCert) {
    DebugOutput("here");
    return WithDecodedBase64(funcs, *pSig64, [&](const Bytes& vSig) {
      DebugOutput("here2");
      return funcs.pkiVerifySignature(Len32(vCert.size()), BytesOf(vCert), Len32(pClear->size()),
                                        BytesOf(*pClear), Len32(vSig.size()), BytesOf(vSig));
    });
  }));
}

int advSealEnvelope(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  const std::string *pCert64 = nullptr, *pSymmAlgo = nullptr, *pClear = nullptr;
  if (!FindAll(request, {"encCert64", "symmAlgo", "clearText"}, {&pCert64, &pSymmAlgo, &pClear})) {
    return API_MISSING_PARAM;
  }
  int nSymmAlgo = ParseDecimal(*pSymmAlgo);

  return ResetOnFailure(funcs, WithDecodedBase64(funcs, *pCert64, [&](const Bytes& vCert) {
    return funcs.pkiSealEnvelope(Len32(vCert.size()), BytesOf(vCert), nSymmAlgo,
                                   Len32(pClear->size()), BytesOf(*pClear), &out);
  }));
}

int advOpenEnvelope(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  const std::string *pKeyLabel = nullptr, *pPasswd = nullptr, *pEnv64 = nullptr;
  if (!FindAll(request, {"keyLabel", "passwd", "envData64"}, {&pKeyLabel, &pPasswd, &pEnv64})) {
    return API_MISSING_PARAM;
  }

  // No reset on failure: a wrong password must not close the library.
  return WithDecodedBase64(funcs, *pEnv64, [&](const Bytes& vEnv) {
    return funcs.pkiOpenEnvelope(pKeyLabel->c_str(), pPasswd->c_str(), Len32(vEnv.size()),
                                   BytesOf(vEnv), &out);
  });
}

int advGenRandom(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  const std::string* pLength = FindParam(request, "length");
  if (pLength == nullptr) return API_MISSING_PARAM;
  int nLength = ParseDecimal(*pLength);
  return ResetOnFailure(funcs, funcs.pkiGenerateRandom(nLength, &out));
}

int advHashData(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  const std::string *pHashAlgo = nullptr, *pClear = nullptr;
  if (!FindAll(request, {"hashAlgo", "clearText"}, {&pHashAlgo, &pClear})) return API_MISSING_PARAM;
  int nHashAlgo = ParseDecimal(*pHashAlgo);
  return ResetOnFailure(funcs, 
      funcs.pkiHashData(nHashAlgo, Len32(pClear->size()), BytesOf(*pClear), &out));
}

int advSymmEncrypt(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  const std::string *pSymmAlgo = nullptr, *pClear = nullptr, *pKey64 = nullptr;
  if (!FindAll(request, {"symmAlgo", "clearText", "symmKey64"}, {&pSymmAlgo, &pClear, &pKey64})) {
    return API_MISSING_PARAM;
  }
  int nSymmAlgo = ParseDecimal(*pSymmAlgo);

  return ResetOnFailure(funcs, WithDecodedBase64(funcs, *pKey64, [&](const Bytes& vKey) {
    return funcs.pkiSymmCryptData(1, nSymmAlgo, Len32(vKey.size()), BytesOf(vKey),
                                    Len32(pClear->size()), BytesOf(*pClear), &out);
  }));
}

int advSymmDecrypt(const CCardFunctions& funcs, const RequestParams& request, PkiBlob& out) {
  const std::string *pSymmAlgo = nullptr, *pKey64 = nullptr, *pData64 = nullptr;
  if (!FindAll(request, {"symmAlgo", "symmKey64", "SymmData64"}, {&pSymmAlgo, &pKey64, &pData64})) {
    return API_MISSING_PARAM;
  }
  int nSymmAlgo = ParseDecimal(*pSymmAlgo);

  return ResetOnFailure(funcs, WithDecodedBase64(funcs, *pKey64, [&](const Bytes& vKey) {
    return WithDecodedBase64(funcs, *pData64, [&](const Bytes& vData) {
      return funcs.pkiSymmCryptData(0, nSymmAlgo, Len32(vKey.size()), BytesOf(vKey),
                                      Len32(vData.size()), BytesOf(vData), &out);
    });
  }));
}
