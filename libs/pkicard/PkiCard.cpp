// The card library's exported C functions. Each one checks its arguments,
// does its work in C++ (no exception crosses this border) and writes its
// output only within the caller's PkiBlob.

#include "libs/pkicard/pkiCard.h"

#include <cstring>
#include <mutex>

#include <openssl/err.h>
#include <openssl/rand.h>

#include "libs/pkicard/OsslPtr.h"
#include "libs/pkicard/P11Token.h"
#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/PkiBase64.h"
#include "libs/pkicard/PkiCertificate.h"
#include "libs/pkicard/PkiConfig.h"
#include "libs/pkicard/PkiEnvelope.h"
#include "libs/pkicard/PkiSymm.h"
#include "libs/pkicard/PkiTokenOps.h"
#include "libs/pkicard/PkiVerify.h"

namespace {

// Library-wide state: the module and keep-alive session, and the
// configuration last read. One call at a time.
struct CardState {
  std::mutex m_mutex;
  CP11Token m_token;
  PkiConfig m_cfg;
  bool m_bConfigLoaded = false;
};

CardState& State() {
  static CardState s_state;
  return s_state;
}

const PkiConfig& Config(CardState& state) {
  if (!state.m_bConfigLoaded) {
    state.m_cfg = LoadPkiConfig();
    state.m_bConfigLoaded = true;
  }
  return state.m_cfg;
}

bool BadInput(uint32_t nLen, const void* p) { return nLen != 0 && p == nullptr; }

// Copies the output into the caller's blob, or reports the length needed.
int WriteOut(PkiBlob* pOut, const unsigned char* pData, size_t nLen) {
  if (nLen > UINT32_MAX) {
    pOut->nLen = 0;
    return PKI_ERR_BUFFER_TOO_SMALL;
  }
  if (pOut->nLen < nLen || (nLen != 0 && pOut->pData == nullptr)) {
    pOut->nLen = static_cast<uint32_t>(nLen);
    return PKI_ERR_BUFFER_TOO_SMALL;
  }
  if (nLen != 0) std::memcpy(pOut->pData, pData, nLen);
  pOut->nLen = static_cast<uint32_t>(nLen);
  return PKI_OK;
}

int WriteOut(PkiBlob* pOut, const ByteVector& data) { return WriteOut(pOut, data.data(), data.size()); }

// Runs body, turning exceptions into codes. OpenSSL's error queue is cleared
// here, once per exported call: the code inside leaves what it pushes and
// answers codes of its own. On failure other than a short buffer the blob's
// length is set to 0.
template <typename Body>
int Guarded(PkiBlob* pOut, Body body) {
  int nResult = PKI_ERR_GENERAL;
  try {
    nResult = body();
  } catch (...) {  // std::bad_alloc, mostly: no exception leaves the library
    nResult = PKI_ERR_GENERAL;
  }
  ERR_clear_error();
  if (pOut != nullptr && nResult != PKI_OK && nResult != PKI_ERR_BUFFER_TOO_SMALL) pOut->nLen = 0;
  return nResult;
}

}  // namespace

extern "C" {

int pkiInit(void) {
  return Guarded(nullptr, []() -> int {
    CardState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    state.m_cfg = LoadPkiConfig();
    state.m_bConfigLoaded = true;
    return state.m_token.Open(state.m_cfg);
  });
}

int pkiEnd(void) {
  return Guarded(nullptr, []() -> int {
    CardState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    state.m_token.Close();
    return PKI_OK;
  });
}

int pkiBase64Decode(uint32_t nTextLen, const char* pText, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nTextLen, pText)) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    ByteVector data;
    if (!Base64Decode(pText, nTextLen, data)) return PKI_ERR_BAD_BASE64;
    if (pOut->pData == nullptr) {  // the sizing call of the two-call protocol
      pOut->nLen = static_cast<uint32_t>(data.size());
      return PKI_OK;
    }
    return WriteOut(pOut, data);
  });
}

int pkiBase64Encode(uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nDataLen, pData)) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    const std::string strText = Base64Encode(pData, nDataLen);
    if (strText.size() >= UINT32_MAX) return PKI_ERR_INVALID_ARG;
    if (pOut->pData == nullptr) {  // the sizing call: the length excludes the NUL
      pOut->nLen = static_cast<uint32_t>(strText.size());
      return PKI_OK;
    }
    const uint32_t nCapacity = pOut->nLen;
    const int nResult =
        WriteOut(pOut, reinterpret_cast<const unsigned char*>(strText.data()), strText.size());
    if (nResult == PKI_OK && nCapacity > strText.size()) pOut->pData[strText.size()] = '\0';
    return nResult;
  });
}

int pkiReadLabel(const char* szLabel, int nObjectType, unsigned char* pBuffer, uint32_t* pnLength) {
  if (szLabel == nullptr || pnLength == nullptr) return PKI_ERR_INVALID_ARG;
  if (nObjectType != 1) return PKI_ERR_INVALID_ARG;
  PkiBlob out{*pnLength, pBuffer};
  const int nResult = Guarded(&out, [&]() -> int {
    CardState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    ByteVector der;
    const int nRead = state.m_token.Run([&] { return ReadTokenCertificate(state.m_token, szLabel, der); });
    if (nRead != PKI_OK) return nRead;
    return WriteOut(&out, der);
  });
  *pnLength = out.nLen;
  return nResult;
}

int pkiCheckCert(uint32_t nCertLen, const unsigned char* pCert, uint32_t, uint32_t, uint32_t,
                 uint32_t, uint32_t, uint32_t) {
  if (BadInput(nCertLen, pCert)) return PKI_ERR_INVALID_ARG;
  return Guarded(nullptr, [&]() -> int {
    X509Ptr cert = ParseCertificate(pCert, nCertLen);
    if (!cert) return PKI_ERR_BAD_CERT;
    std::string strTrustStore;
    {
      CardState& state = State();
      std::lock_guard<std::mutex> lock(state.m_mutex);
      strTrustStore = Config(state).m_strTrustStore;
    }
    return CheckCertificate(cert.get(), strTrustStore);
  });
}

int pkiGetXMLCertInfo(uint32_t nCertLen, const unsigned char* pCert, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nCertLen, pCert)) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    X509Ptr cert = ParseCertificate(pCert, nCertLen);
    if (!cert) return PKI_ERR_BAD_CERT;
    std::string strXml;
    if (!CertificateXml(cert.get(), strXml)) return PKI_ERR_BAD_CERT;
    return WriteOut(pOut, reinterpret_cast<const unsigned char*>(strXml.data()), strXml.size());
  });
}

int pkiGetCertInfoEx(uint32_t nCertLen, const unsigned char* pCert, void*, int* pnPreferredAlgo) {
  if (pnPreferredAlgo == nullptr || BadInput(nCertLen, pCert)) return PKI_ERR_INVALID_ARG;
  return Guarded(nullptr, [&]() -> int {
    X509Ptr cert = ParseCertificate(pCert, nCertLen);
    if (!cert) return PKI_ERR_BAD_CERT;
    EVP_PKEY* pKey = X509_get0_pubkey(cert.get());
    if (pKey == nullptr) return PKI_ERR_BAD_CERT;
    *pnPreferredAlgo = PreferredDigest(pKey);
    return PKI_OK;
  });
}

int pkiSealEnvelope(uint32_t nCertLen, const unsigned char* pCert, int nSymmAlgo, uint32_t nPlainLen,
                    const unsigned char* pPlain, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nCertLen, pCert) || BadInput(nPlainLen, pPlain)) {
    return PKI_ERR_INVALID_ARG;
  }
  return Guarded(pOut, [&]() -> int {
    X509Ptr cert = ParseCertificate(pCert, nCertLen);
    if (!cert) return PKI_ERR_BAD_CERT;
    ByteVector envelope;
    const int nResult = SealEnvelope(cert.get(), nSymmAlgo, pPlain, nPlainLen, envelope);
    if (nResult != PKI_OK) return nResult;
    return WriteOut(pOut, envelope);
  });
}

int pkiOpenEnvelope(const char* szKeyLabel, const char* szPin, uint32_t nEnvLen,
                    const unsigned char* pEnvelope, PkiBlob* pOut) {
  if (szKeyLabel == nullptr || szPin == nullptr || pOut == nullptr || BadInput(nEnvLen, pEnvelope)) {
    return PKI_ERR_INVALID_ARG;
  }
  return Guarded(pOut, [&]() -> int {
    CardState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    ByteVector plain;
    const int nResult = state.m_token.Run([&] {
      return OpenEnvelopeOnToken(state.m_token, szKeyLabel, szPin, pEnvelope, nEnvLen, plain);
    });
    const int nWrite = nResult == PKI_OK ? WriteOut(pOut, plain) : nResult;
    OPENSSL_cleanse(plain.data(), plain.size());
    return nWrite;
  });
}

int pkiGetSignature(const char* szKeyLabel, const char* szPin, int nDigestAlgo, uint32_t nDataLen,
                    const unsigned char* pData, PkiBlob* pOut) {
  if (szKeyLabel == nullptr || szPin == nullptr || pOut == nullptr || BadInput(nDataLen, pData)) {
    return PKI_ERR_INVALID_ARG;
  }
  return Guarded(pOut, [&]() -> int {
    ByteVector digest;
    const int nHash = HashBytes(nDigestAlgo, pData, nDataLen, digest);
    if (nHash != PKI_OK) return nHash;
    CardState& state = State();
    std::lock_guard<std::mutex> lock(state.m_mutex);
    ByteVector signature;
    const int nResult = state.m_token.Run([&] {
      return SignOnToken(state.m_token, szKeyLabel, szPin, nDigestAlgo, digest, signature);
    });
    if (nResult != PKI_OK) return nResult;
    return WriteOut(pOut, signature);
  });
}

int pkiVerifySignature(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                       const unsigned char* pData, uint32_t nSigLen, const unsigned char* pSig) {
  if (BadInput(nCertLen, pCert) || BadInput(nDataLen, pData) || BadInput(nSigLen, pSig)) {
    return PKI_ERR_INVALID_ARG;
  }
  return Guarded(nullptr, [&]() -> int {
    X509Ptr cert = ParseCertificate(pCert, nCertLen);
    if (!cert) return PKI_ERR_BAD_CERT;
    EVP_PKEY* pKey = X509_get0_pubkey(cert.get());
    if (pKey == nullptr) return PKI_ERR_BAD_CERT;
    return VerifySignature(pKey, pData, nDataLen, pSig, nSigLen);
  });
}

int pkiGenerateRandom(int nCount, PkiBlob* pOut) {
  if (pOut == nullptr || nCount < 0) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    const size_t nLen = static_cast<size_t>(nCount);
    if (pOut->nLen < nLen || (nLen != 0 && pOut->pData == nullptr)) {
      pOut->nLen = static_cast<uint32_t>(nLen);
      return PKI_ERR_BUFFER_TOO_SMALL;
    }
    if (nLen != 0) {
      CardState& state = State();
      std::lock_guard<std::mutex> lock(state.m_mutex);
      const bool bFromToken =
          state.m_token.HasSession() && state.m_token.GenerateRandom(pOut->pData, nLen) == PKI_OK;
      if (!bFromToken && RAND_bytes(pOut->pData, nCount) != 1) return PKI_ERR_CRYPTO;
    }
    pOut->nLen = static_cast<uint32_t>(nLen);
    return PKI_OK;
  });
}

int pkiHashData(int nHashAlgo, uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nDataLen, pData)) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    ByteVector digest;
    const int nResult = HashBytes(nHashAlgo, pData, nDataLen, digest);
    if (nResult != PKI_OK) return nResult;
    return WriteOut(pOut, digest);
  });
}

int pkiSymmCryptData(int nMode, int nSymmAlgo, uint32_t nKeyLen, const unsigned char* pKey,
                     uint32_t nInLen, const unsigned char* pIn, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nKeyLen, pKey) || BadInput(nInLen, pIn)) return PKI_ERR_INVALID_ARG;
  if (nMode != 0 && nMode != 1) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    ByteVector out;
    const int nResult = nMode == 1 ? SymmEncrypt(nSymmAlgo, pKey, nKeyLen, pIn, nInLen, out)
                                   : SymmDecrypt(nSymmAlgo, pKey, nKeyLen, pIn, nInLen, out);
    if (nResult != PKI_OK) return nResult;
    const int nWrite = WriteOut(pOut, out);
    OPENSSL_cleanse(out.data(), out.size());
    return nWrite;
  });
}

}  // extern "C"
