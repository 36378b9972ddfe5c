// The card library over a PKCS#11 token (private keys) and OpenSSL 3
// (everything public).

#include "libs/pkicard/PkiBackend.h"

#include <mutex>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rand.h>

#include "libs/pkicard/OsslAlgorithms.h"
#include "libs/pkicard/OsslPtr.h"
#include "libs/pkicard/P11Token.h"
#include "libs/pkicard/PkiCertificate.h"
#include "libs/pkicard/PkiConfig.h"
#include "libs/pkicard/PkiEnvelope.h"
#include "libs/pkicard/PkiSymm.h"
#include "libs/pkicard/PkiTokenOps.h"
#include "libs/pkicard/PkiVerify.h"
#include "libs/pkicard/pkiCard.h"

namespace {

// Library-wide state: the module and keep-alive session. One call at a time.
struct CardState {
  std::mutex m_mutex;
  CP11Token m_token;
};

CardState& State() {
  static CardState s_state;
  return s_state;
}

}  // namespace

int BackendInit() {
  CardState& state = State();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  return state.m_token.Open(ReloadPkiConfig());
}

void BackendEnd() {
  CardState& state = State();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  state.m_token.Close();
}

void BackendCallDone() { ERR_clear_error(); }

int BackendReadLabel(const char* szLabel, ByteVector& der) {
  CardState& state = State();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  return state.m_token.Run([&] { return ReadTokenCertificate(state.m_token, szLabel, der); });
}

int BackendCheckCert(const unsigned char* pCert, size_t nCertLen) {
  X509Ptr cert = ParseCertificate(pCert, nCertLen);
  if (!cert) return PKI_ERR_BAD_CERT;
  return CheckCertificate(cert.get(), CurrentPkiConfig().m_strTrustStore);
}

int BackendCertInfo(const unsigned char* pCert, size_t nCertLen, PkiCertInfo& info) {
  X509Ptr cert = ParseCertificate(pCert, nCertLen);
  if (!cert) return PKI_ERR_BAD_CERT;
  return ReadCertInfo(cert.get(), info) ? PKI_OK : PKI_ERR_BAD_CERT;
}

int BackendPreferredDigest(const unsigned char* pCert, size_t nCertLen, int& nDigestAlgo) {
  X509Ptr cert = ParseCertificate(pCert, nCertLen);
  if (!cert) return PKI_ERR_BAD_CERT;
  EVP_PKEY* pKey = X509_get0_pubkey(cert.get());
  if (pKey == nullptr) return PKI_ERR_BAD_CERT;
  nDigestAlgo = PreferredDigest(pKey);
  return PKI_OK;
}

int BackendSealEnvelope(const unsigned char* pCert, size_t nCertLen, int nSymmAlgo,
                        const unsigned char* pPlain, size_t nPlainLen, ByteVector& envelope) {
  X509Ptr cert = ParseCertificate(pCert, nCertLen);
  if (!cert) return PKI_ERR_BAD_CERT;
  return SealEnvelope(cert.get(), nSymmAlgo, pPlain, nPlainLen, envelope);
}

int BackendOpenEnvelope(const char* szLabel, const char* szPin, const unsigned char* pEnvelope,
                        size_t nLen, ByteVector& plain) {
  CardState& state = State();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  return state.m_token.Run(
      [&] { return OpenEnvelopeOnToken(state.m_token, szLabel, szPin, pEnvelope, nLen, plain); });
}

int BackendSign(const char* szLabel, const char* szPin, int nDigestAlgo, const unsigned char* pData,
                size_t nLen, ByteVector& signature) {
  ByteVector digest;
  const int nHash = HashBytes(nDigestAlgo, pData, nLen, digest);
  if (nHash != PKI_OK) return nHash;
  CardState& state = State();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  return state.m_token.Run(
      [&] { return SignOnToken(state.m_token, szLabel, szPin, nDigestAlgo, digest, signature); });
}

int BackendVerify(const unsigned char* pCert, size_t nCertLen, const unsigned char* pData,
                  size_t nDataLen, const unsigned char* pSig, size_t nSigLen) {
  X509Ptr cert = ParseCertificate(pCert, nCertLen);
  if (!cert) return PKI_ERR_BAD_CERT;
  EVP_PKEY* pKey = X509_get0_pubkey(cert.get());
  if (pKey == nullptr) return PKI_ERR_BAD_CERT;
  return VerifySignature(pKey, pData, nDataLen, pSig, nSigLen);
}

int BackendRandom(unsigned char* pOut, size_t nCount) {
  CardState& state = State();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  const bool bFromToken = state.m_token.HasSession() && state.m_token.GenerateRandom(pOut, nCount) == PKI_OK;
  if (!bFromToken && RAND_bytes(pOut, static_cast<int>(nCount)) != 1) return PKI_ERR_CRYPTO;
  return PKI_OK;
}

int BackendHash(int nHashAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest) {
  return HashBytes(nHashAlgo, pData, nLen, digest);
}

int BackendSymmCrypt(bool bEncrypt, int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                     const unsigned char* pIn, size_t nInLen, ByteVector& out) {
  return bEncrypt ? SymmEncrypt(nSymmAlgo, pKey, nKeyLen, pIn, nInLen, out)
                  : SymmDecrypt(nSymmAlgo, pKey, nKeyLen, pIn, nInLen, out);
}

void BackendCleanse(ByteVector& data) { OPENSSL_cleanse(data.data(), data.size()); }
