// The card library's exported C functions, the same on every platform. Each
// one checks its arguments, has the platform's backend do the work (no
// exception crosses this border) and writes its output only within the
// caller's PkiBlob.

#include "libs/pkicard/pkiCard.h"

#include <cstring>
#include <string>

#include "libs/pkicard/PkiBackend.h"
#include "libs/pkicard/PkiBase64.h"
#include "libs/pkicard/PkiCertInfo.h"

namespace {

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

// Runs body, turning exceptions into codes. The backend tidies up once per
// exported call (OpenSSL's error queue is cleared here: the code inside leaves
// what it pushes and answers codes of its own). On failure other than a short
// buffer the blob's length is set to 0.
template <typename Body>
int Guarded(PkiBlob* pOut, Body body) {
  int nResult = PKI_ERR_GENERAL;
  try {
    nResult = body();
  } catch (...) {  // std::bad_alloc, mostly: no exception leaves the library
    nResult = PKI_ERR_GENERAL;
  }
  BackendCallDone();
  if (pOut != nullptr && nResult != PKI_OK && nResult != PKI_ERR_BUFFER_TOO_SMALL) pOut->nLen = 0;
  return nResult;
}

}  // namespace

extern "C" {

int pkiInit(void) {
  return Guarded(nullptr, [] { return BackendInit(); });
}

int pkiEnd(void) {
  return Guarded(nullptr, [] {
    BackendEnd();
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
    ByteVector der;
    const int nRead = BackendReadLabel(szLabel, der);
    if (nRead != PKI_OK) return nRead;
    return WriteOut(&out, der);
  });
  *pnLength = out.nLen;
  return nResult;
}

int pkiCheckCert(uint32_t nCertLen, const unsigned char* pCert, uint32_t, uint32_t, uint32_t,
                 uint32_t, uint32_t, uint32_t) {
  if (BadInput(nCertLen, pCert)) return PKI_ERR_INVALID_ARG;
  return Guarded(nullptr, [&] { return BackendCheckCert(pCert, nCertLen); });
}

int pkiGetXMLCertInfo(uint32_t nCertLen, const unsigned char* pCert, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nCertLen, pCert)) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    PkiCertInfo info;
    const int nResult = BackendCertInfo(pCert, nCertLen, info);
    if (nResult != PKI_OK) return nResult;
    const std::string strXml = CertInfoXml(info);
    return WriteOut(pOut, reinterpret_cast<const unsigned char*>(strXml.data()), strXml.size());
  });
}

int pkiGetCertInfoEx(uint32_t nCertLen, const unsigned char* pCert, void*, int* pnPreferredAlgo) {
  if (pnPreferredAlgo == nullptr || BadInput(nCertLen, pCert)) return PKI_ERR_INVALID_ARG;
  return Guarded(nullptr, [&] { return BackendPreferredDigest(pCert, nCertLen, *pnPreferredAlgo); });
}

int pkiSealEnvelope(uint32_t nCertLen, const unsigned char* pCert, int nSymmAlgo, uint32_t nPlainLen,
                    const unsigned char* pPlain, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nCertLen, pCert) || BadInput(nPlainLen, pPlain)) {
    return PKI_ERR_INVALID_ARG;
  }
  return Guarded(pOut, [&]() -> int {
    ByteVector envelope;
    const int nResult = BackendSealEnvelope(pCert, nCertLen, nSymmAlgo, pPlain, nPlainLen, envelope);
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
    ByteVector plain;
    const int nResult = BackendOpenEnvelope(szKeyLabel, szPin, pEnvelope, nEnvLen, plain);
    const int nWrite = nResult == PKI_OK ? WriteOut(pOut, plain) : nResult;
    BackendCleanse(plain);
    return nWrite;
  });
}

int pkiGetSignature(const char* szKeyLabel, const char* szPin, int nDigestAlgo, uint32_t nDataLen,
                    const unsigned char* pData, PkiBlob* pOut) {
  if (szKeyLabel == nullptr || szPin == nullptr || pOut == nullptr || BadInput(nDataLen, pData)) {
    return PKI_ERR_INVALID_ARG;
  }
  return Guarded(pOut, [&]() -> int {
    ByteVector signature;
    const int nResult = BackendSign(szKeyLabel, szPin, nDigestAlgo, pData, nDataLen, signature);
    if (nResult != PKI_OK) return nResult;
    return WriteOut(pOut, signature);
  });
}

int pkiVerifySignature(uint32_t nCertLen, const unsigned char* pCert, uint32_t nDataLen,
                       const unsigned char* pData, uint32_t nSigLen, const unsigned char* pSig) {
  if (BadInput(nCertLen, pCert) || BadInput(nDataLen, pData) || BadInput(nSigLen, pSig)) {
    return PKI_ERR_INVALID_ARG;
  }
  return Guarded(nullptr, [&] { return BackendVerify(pCert, nCertLen, pData, nDataLen, pSig, nSigLen); });
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
      const int nResult = BackendRandom(pOut->pData, nLen);
      if (nResult != PKI_OK) return nResult;
    }
    pOut->nLen = static_cast<uint32_t>(nLen);
    return PKI_OK;
  });
}

int pkiHashData(int nHashAlgo, uint32_t nDataLen, const unsigned char* pData, PkiBlob* pOut) {
  if (pOut == nullptr || BadInput(nDataLen, pData)) return PKI_ERR_INVALID_ARG;
  return Guarded(pOut, [&]() -> int {
    ByteVector digest;
    const int nResult = BackendHash(nHashAlgo, pData, nDataLen, digest);
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
    const int nResult = BackendSymmCrypt(nMode == 1, nSymmAlgo, pKey, nKeyLen, pIn, nInLen, out);
    if (nResult != PKI_OK) return nResult;
    const int nWrite = WriteOut(pOut, out);
    BackendCleanse(out);
    return nWrite;
  });
}

}  // extern "C"
