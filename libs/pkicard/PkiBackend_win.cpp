// The card library over the current user's "MY" certificate store and the
// platform's crypto: CNG (bcrypt, ncrypt) and CryptoAPI (crypt32). Keys are
// reached through their certificates, so a smart card or USB key works
// through its key storage provider (minidriver) or CSP.

#include "libs/pkicard/PkiBackend.h"

#include <atomic>

#include "libs/pkicard/EnvelopeDer.h"
#include "libs/pkicard/PkiConfig.h"
#include "libs/pkicard/WinCertificate.h"
#include "libs/pkicard/WinCrypto.h"
#include "libs/pkicard/WinKeyStore.h"
#include "libs/pkicard/pkiCard.h"

namespace {

// Whether pkiInit has run: the key functions need it, as on every platform.
std::atomic<bool> s_bOpen{false};

bool IsOpen() { return s_bOpen.load(); }

}  // namespace

int BackendInit() {
  ReloadPkiConfig();  // the trust store is all Windows uses of it
  s_bOpen = true;
  return PKI_OK;
}

void BackendEnd() { s_bOpen = false; }

void BackendCallDone() {}

int BackendReadLabel(const char* szLabel, ByteVector& der) {
  if (!IsOpen()) return PKI_ERR_NOT_INITIALISED;
  CertHandle cert;
  const int nResult = FindMyCertificate(szLabel, cert);
  if (nResult != PKI_OK) return nResult;
  der.assign(cert.Get()->pbCertEncoded, cert.Get()->pbCertEncoded + cert.Get()->cbCertEncoded);
  return PKI_OK;
}

int BackendCheckCert(const unsigned char* pCert, size_t nCertLen) {
  CertHandle cert;
  const int nResult = WinParseCertificate(pCert, nCertLen, cert);
  if (nResult != PKI_OK) return nResult;
  return WinCheckCertificate(cert.Get(), CurrentPkiConfig().m_strTrustStore);
}

int BackendCertInfo(const unsigned char* pCert, size_t nCertLen, PkiCertInfo& info) {
  CertHandle cert;
  const int nResult = WinParseCertificate(pCert, nCertLen, cert);
  if (nResult != PKI_OK) return nResult;
  return WinCertificateInfo(cert.Get(), info);
}

int BackendPreferredDigest(const unsigned char* pCert, size_t nCertLen, int& nDigestAlgo) {
  CertHandle cert;
  const int nResult = WinParseCertificate(pCert, nCertLen, cert);
  if (nResult != PKI_OK) return nResult;
  nDigestAlgo = WinPreferredDigest(cert.Get());
  return PKI_OK;
}

int BackendSealEnvelope(const unsigned char* pCert, size_t nCertLen, int nSymmAlgo,
                        const unsigned char* pPlain, size_t nPlainLen, ByteVector& envelope) {
  CertHandle cert;
  const int nResult = WinParseCertificate(pCert, nCertLen, cert);
  if (nResult != PKI_OK) return nResult;
  return WinSealEnvelope(cert.Get(), nSymmAlgo, pPlain, nPlainLen, envelope);
}

int BackendOpenEnvelope(const char* szLabel, const char* szPin, const unsigned char* pEnvelope,
                        size_t nLen, ByteVector& plain) {
  if (!IsOpen()) return PKI_ERR_NOT_INITIALISED;
  CertHandle cert;
  int nResult = FindMyCertificate(szLabel, cert);
  if (nResult != PKI_OK) return nResult;
  if (pEnvelope == nullptr || nLen == 0) return PKI_ERR_BAD_ENVELOPE;
  EnvelopeRecipient recipient;
  nResult = FindKeyTransportRecipient(
      pEnvelope, nLen, [&](const DerElement& rid) { return WinRecipientMatches(cert.Get(), rid); }, recipient);
  if (nResult != PKI_OK) return nResult;
  int nSymmAlgo = 0;
  ByteVector iv, cipher;
  if (!ReadEncryptedContentInfo(recipient.m_encryptedContentInfo, nSymmAlgo, iv, cipher)) {
    return PKI_ERR_BAD_ENVELOPE;
  }
  if (nSymmAlgo == 0) return PKI_ERR_UNSUPPORTED_ALGO;
  ByteVector contentKey;
  nResult = WinDecryptKey(cert.Get(), szPin, recipient.m_encryptedKey, contentKey);
  if (nResult != PKI_OK) return nResult;
  ByteVector ivAndCipher = iv;
  ivAndCipher.insert(ivAndCipher.end(), cipher.begin(), cipher.end());
  nResult = WinSymmCrypt(false, nSymmAlgo, contentKey.data(), contentKey.size(), ivAndCipher.data(),
                         ivAndCipher.size(), plain);
  SecureZeroMemory(contentKey.data(), contentKey.size());
  // A wrong content key length means the key did not decrypt rightly.
  return nResult == PKI_ERR_INVALID_ARG ? PKI_ERR_DECRYPT : nResult;
}

int BackendSign(const char* szLabel, const char* szPin, int nDigestAlgo, const unsigned char* pData,
                size_t nLen, ByteVector& signature) {
  ByteVector digest;
  int nResult = WinHash(nDigestAlgo, pData, nLen, digest);
  if (nResult != PKI_OK) return nResult;
  if (!IsOpen()) return PKI_ERR_NOT_INITIALISED;
  CertHandle cert;
  nResult = FindMyCertificate(szLabel, cert);
  if (nResult != PKI_OK) return nResult;
  return WinSignDigest(cert.Get(), szPin, nDigestAlgo, digest, signature);
}

int BackendVerify(const unsigned char* pCert, size_t nCertLen, const unsigned char* pData,
                  size_t nDataLen, const unsigned char* pSig, size_t nSigLen) {
  CertHandle cert;
  const int nResult = WinParseCertificate(pCert, nCertLen, cert);
  if (nResult != PKI_OK) return nResult;
  return WinVerifySignature(cert.Get(), pData, nDataLen, pSig, nSigLen);
}

int BackendRandom(unsigned char* pOut, size_t nCount) { return WinRandom(pOut, nCount); }

int BackendHash(int nHashAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest) {
  return WinHash(nHashAlgo, pData, nLen, digest);
}

int BackendSymmCrypt(bool bEncrypt, int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                     const unsigned char* pIn, size_t nInLen, ByteVector& out) {
  return WinSymmCrypt(bEncrypt, nSymmAlgo, pKey, nKeyLen, pIn, nInLen, out);
}

void BackendCleanse(ByteVector& data) { SecureZeroMemory(data.data(), data.size()); }
