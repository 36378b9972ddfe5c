#include "libs/cloudkey/CloudKey.h"

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include <climits>

#include "libs/cloudkey/CkInternal.h"
#include "libs/cloudkey/CkKeyPool.h"
#include "libs/cloudkey/CkOssl.h"

namespace {

constexpr int kSerialBytes = 16;
constexpr long kNotBeforeSkewSeconds = 5 * 60;
constexpr long kValiditySeconds = 24 * 60 * 60;
// Larger contents and envelopes than any exchange of the service carries.
constexpr size_t kMaxContent = 1024 * 1024;
constexpr size_t kMaxEnvelopeText = 4 * kMaxContent / 3 + 64 * 1024;
const char kExchangeName[] = "Tolvan cloud key exchange";

std::string BioText(BIO* pBio) {
  char* pData = nullptr;
  const long nLen = BIO_get_mem_data(pBio, &pData);
  return nLen > 0 && pData != nullptr ? std::string(pData, static_cast<size_t>(nLen))
                                      : std::string();
}

CkX509Ptr CertFromBase64(const std::string& strCert) {
  CkBytes vDer;
  if (!CkBase64Bytes(strCert, CK_MAX_CERT_TEXT, vDer) || vDer.empty()) return CkX509Ptr();
  const unsigned char* p = vDer.data();
  CkX509Ptr pCert(d2i_X509(nullptr, &p, static_cast<long>(vDer.size())));
  if (pCert && p != vDer.data() + vDer.size()) pCert.reset();  // trailing bytes
  return pCert;
}

bool SetRandomSerial(X509* pCert) {
  unsigned char bySerial[kSerialBytes];
  if (RAND_bytes(bySerial, sizeof(bySerial)) != 1) return false;
  bySerial[0] = static_cast<unsigned char>((bySerial[0] & 0x7F) | 0x40);  // positive, full length
  CkOsslPtr<BIGNUM, BN_free> pBn(BN_bin2bn(bySerial, sizeof(bySerial), nullptr));
  return pBn && BN_to_ASN1_INTEGER(pBn.get(), X509_get_serialNumber(pCert)) != nullptr;
}

}  // namespace

struct PkiHandler::CKey {
  CkPkeyPtr pKey;
};

PkiHandler::PkiHandler() = default;
PkiHandler::~PkiHandler() = default;

int PkiHandler::GenerateRSAKey() {
  CCkErrorQueueGuard errorGuard;
  m_pKey = std::make_unique<CKey>();
  m_pKey->pKey = CCkKeyPool::Instance().Take();
  return m_pKey->pKey ? CK_OK : CK_ERR_KEY;
}

int PkiHandler::CreateCert(std::string& strOut) {
  CCkErrorQueueGuard errorGuard;
  strOut.clear();
  if (!m_pKey || !m_pKey->pKey) return CK_ERR_KEY;
  EVP_PKEY* pKey = m_pKey->pKey.get();
  CkX509Ptr pCert(X509_new());
  if (!pCert || X509_set_version(pCert.get(), 2) != 1 || !SetRandomSerial(pCert.get()) ||
      X509_gmtime_adj(X509_getm_notBefore(pCert.get()), -kNotBeforeSkewSeconds) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(pCert.get()), kValiditySeconds) == nullptr ||
      X509_set_pubkey(pCert.get(), pKey) != 1) {
    return CK_ERR_CERT;
  }
  X509_NAME* pName = X509_get_subject_name(pCert.get());
  if (X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>(kExchangeName), -1, -1,
                                 0) != 1 ||
      X509_set_issuer_name(pCert.get(), pName) != 1 ||
      X509_sign(pCert.get(), pKey, EVP_sha256()) <= 0) {
    return CK_ERR_CERT;
  }
  unsigned char* pDer = nullptr;
  const int nDer = i2d_X509(pCert.get(), &pDer);
  if (nDer <= 0) return CK_ERR_CERT;
  strOut = CkBase64Text(pDer, static_cast<size_t>(nDer));
  OPENSSL_free(pDer);
  return strOut.empty() ? CK_ERR_CERT : CK_OK;
}

int PkiHandler::GetPriKey(std::string& strOut) {
  CCkErrorQueueGuard errorGuard;
  strOut.clear();
  if (!m_pKey || !m_pKey->pKey) return CK_ERR_KEY;
  CkBioPtr pBio(BIO_new(BIO_s_mem()));
  if (!pBio || PEM_write_bio_PrivateKey(pBio.get(), m_pKey->pKey.get(), nullptr, nullptr, 0,
                                        nullptr, nullptr) != 1) {
    return CK_ERR_KEY;
  }
  strOut = BioText(pBio.get());
  return strOut.empty() ? CK_ERR_KEY : CK_OK;
}

int PkiHandler::CreatePKCS7(const std::string& strRecipientPem, const unsigned char* pData,
                            size_t nLen, std::string& strOut) {
  CCkErrorQueueGuard errorGuard;
  strOut.clear();
  if ((pData == nullptr && nLen > 0) || nLen > kMaxContent || strRecipientPem.empty() ||
      strRecipientPem.size() > INT_MAX) {
    return CK_ERR_BAD_INPUT;
  }
  CkBioPtr pPem(BIO_new_mem_buf(strRecipientPem.data(), static_cast<int>(strRecipientPem.size())));
  CkX509Ptr pRecipient(pPem ? PEM_read_bio_X509(pPem.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!pRecipient) return CK_ERR_CERT;
  CkX509StackPtr pCerts(sk_X509_new_null());
  if (!pCerts || sk_X509_push(pCerts.get(), pRecipient.get()) <= 0) return CK_ERR_ENVELOPE_SEAL;
  pRecipient.release();  // owned by the stack now

  CkBioPtr pIn(BIO_new_mem_buf(pData != nullptr ? pData : reinterpret_cast<const unsigned char*>(""),
                               static_cast<int>(nLen)));
  if (!pIn) return CK_ERR_ENVELOPE_SEAL;
  CkCmsPtr pCms(CMS_encrypt(pCerts.get(), pIn.get(), EVP_aes_256_cbc(), CMS_BINARY));
  if (!pCms) return CK_ERR_ENVELOPE_SEAL;
  unsigned char* pDer = nullptr;
  const int nDer = i2d_CMS_ContentInfo(pCms.get(), &pDer);
  if (nDer <= 0) return CK_ERR_ENVELOPE_SEAL;
  strOut = CkBase64Text(pDer, static_cast<size_t>(nDer));
  OPENSSL_free(pDer);
  return strOut.empty() ? CK_ERR_ENVELOPE_SEAL : CK_OK;
}

int PkiHandler::DecryptPKCS7(const std::string& strCert, const std::string& strPriKey,
                             const char* pEnvelope, size_t nLen, std::string& strOut) {
  CCkErrorQueueGuard errorGuard;
  strOut.clear();
  if (pEnvelope == nullptr || nLen == 0 || nLen > kMaxEnvelopeText ||
      strPriKey.size() > INT_MAX) {
    return CK_ERR_BAD_INPUT;
  }
  CkX509Ptr pCert = CertFromBase64(strCert);
  if (!pCert) return CK_ERR_CERT;
  CkBioPtr pKeyBio(BIO_new_mem_buf(strPriKey.data(), static_cast<int>(strPriKey.size())));
  CkPkeyPtr pKey(pKeyBio ? PEM_read_bio_PrivateKey(pKeyBio.get(), nullptr, nullptr, nullptr)
                         : nullptr);
  if (!pKey) return CK_ERR_KEY;

  CkBytes vDer;
  if (!CkBase64Bytes(std::string(pEnvelope, nLen), kMaxEnvelopeText, vDer) || vDer.empty()) {
    return CK_ERR_ENVELOPE_OPEN;
  }
  const unsigned char* p = vDer.data();
  CkCmsPtr pCms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(vDer.size())));
  if (!pCms || p != vDer.data() + vDer.size() ||
      OBJ_obj2nid(CMS_get0_type(pCms.get())) != NID_pkcs7_enveloped) {
    return CK_ERR_ENVELOPE_OPEN;
  }
  CkBioPtr pOut(BIO_new(BIO_s_mem()));
  if (!pOut || CMS_decrypt(pCms.get(), pKey.get(), pCert.get(), nullptr, pOut.get(),
                           CMS_BINARY) != 1) {
    return CK_ERR_ENVELOPE_OPEN;
  }
  strOut = BioText(pOut.get());
  if (strOut.size() > kMaxContent) {
    strOut.clear();
    return CK_ERR_ENVELOPE_OPEN;
  }
  return CK_OK;
}
