#include "libs/pkicard/PkiCertificate.h"

#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include <openssl/core_names.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include "libs/pkicard/PkiCertInfo.h"
#include "libs/pkicard/pkiCard.h"

namespace {

std::string NameText(const X509_NAME* pName) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio) return std::string();
  // RFC 2253 with UTF-8 output: control characters come out escaped.
  const unsigned long nFlags = XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB;
  if (X509_NAME_print_ex(bio.get(), pName, 0, nFlags) < 0) return std::string();
  char* pText = nullptr;
  const long nLen = BIO_get_mem_data(bio.get(), &pText);
  return nLen > 0 ? std::string(pText, static_cast<size_t>(nLen)) : std::string();
}

std::string CommonName(const X509_NAME* pName) {
  const int nIndex = X509_NAME_get_index_by_NID(pName, NID_commonName, -1);
  if (nIndex < 0) return std::string();
  const ASN1_STRING* pData = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(pName, nIndex));
  unsigned char* pUtf8 = nullptr;
  const int nLen = ASN1_STRING_to_UTF8(&pUtf8, pData);
  if (nLen < 0) return std::string();
  std::string s(reinterpret_cast<char*>(pUtf8), static_cast<size_t>(nLen));
  OPENSSL_free(pUtf8);
  return s;
}

std::string TimeText(const ASN1_TIME* pTime) {
  struct tm tmValue {};
  if (ASN1_TIME_to_tm(pTime, &tmValue) != 1) return std::string();
  char szText[80];
  std::snprintf(szText, sizeof szText, "%04d-%02d-%02d %02d:%02d:%02d", tmValue.tm_year + 1900,
                tmValue.tm_mon + 1, tmValue.tm_mday, tmValue.tm_hour, tmValue.tm_min, tmValue.tm_sec);
  return szText;
}

std::string KeyUsageText(X509* pCert) {
  static const uint32_t kBits[9] = {KU_DIGITAL_SIGNATURE, KU_NON_REPUDIATION, KU_KEY_ENCIPHERMENT,
                                    KU_DATA_ENCIPHERMENT, KU_KEY_AGREEMENT,   KU_KEY_CERT_SIGN,
                                    KU_CRL_SIGN,          KU_ENCIPHER_ONLY,   KU_DECIPHER_ONLY};
  if ((X509_get_extension_flags(pCert) & EXFLAG_KUSAGE) == 0) return std::string();
  const uint32_t nUsage = X509_get_key_usage(pCert);
  std::string s;
  for (size_t i = 0; i < 9; ++i) {
    if ((nUsage & kBits[i]) == 0) continue;
    if (!s.empty()) s += ',';
    s += kKeyUsageNames[i];
  }
  return s;
}

}  // namespace

X509Ptr ParseCertificate(const unsigned char* pData, size_t nLen) {
  if (pData == nullptr || nLen == 0 || nLen > static_cast<size_t>(INT_MAX)) return X509Ptr();
  const unsigned char* p = pData;
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(nLen)));
  if (cert && p != pData + nLen) cert.reset();  // trailing bytes: not one certificate
  if (!cert) {
    BioPtr bio(BIO_new_mem_buf(pData, static_cast<int>(nLen)));
    if (bio) cert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  }
  return cert;
}

bool IsSm2Key(const EVP_PKEY* pKey) {
  if (EVP_PKEY_is_a(pKey, "SM2")) return true;
  if (!EVP_PKEY_is_a(pKey, "EC")) return false;
  char szGroup[64] = {0};
  size_t nLen = 0;
  if (EVP_PKEY_get_group_name(pKey, szGroup, sizeof szGroup, &nLen) != 1) return false;
  return std::string(szGroup) == "SM2";
}

int PreferredDigest(const EVP_PKEY* pKey) {
  if (IsSm2Key(pKey)) return 3;
  if (EVP_PKEY_is_a(pKey, "EC")) {
    char szGroup[64] = {0};
    size_t nLen = 0;
    if (EVP_PKEY_get_group_name(pKey, szGroup, sizeof szGroup, &nLen) == 1) {
      const std::string strGroup(szGroup);
      if (strGroup == "secp384r1" || strGroup == "P-384") return 4;
      if (strGroup == "secp521r1" || strGroup == "P-521") return 5;
    }
  }
  return 2;
}

int CheckCertificate(X509* pCert, const std::string& strTrustStore) {
  X509StorePtr store(X509_STORE_new());
  if (!store) return PKI_ERR_CRYPTO;
  int nLoaded = 0;
  if (strTrustStore.empty()) {
    nLoaded = X509_STORE_set_default_paths(store.get());
  } else {
    // A hashed directory is read lazily by OpenSSL, so its existence is
    // checked here.
    std::error_code ec;
    if (std::filesystem::is_directory(strTrustStore, ec)) {
      nLoaded = X509_STORE_load_path(store.get(), strTrustStore.c_str());
    } else {
      nLoaded = X509_STORE_load_file(store.get(), strTrustStore.c_str());
    }
  }
  if (nLoaded != 1) return PKI_ERR_TRUST_STORE;

  X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || X509_STORE_CTX_init(ctx.get(), store.get(), pCert, nullptr) != 1) return PKI_ERR_CRYPTO;
  const int nVerified = X509_verify_cert(ctx.get());
  const int nError = X509_STORE_CTX_get_error(ctx.get());
  if (nVerified == 1) return PKI_OK;
  switch (nError) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return PKI_ERR_CERT_EXPIRED;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return PKI_ERR_CERT_NOT_YET_VALID;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return PKI_ERR_CERT_UNTRUSTED;
    default:
      return PKI_ERR_CERT_INVALID;
  }
}

bool ReadCertInfo(X509* pCert, PkiCertInfo& info) {
  EVP_PKEY* pKey = X509_get0_pubkey(pCert);
  if (pKey == nullptr) return false;
  std::string strSerial;
  {
    const ASN1_INTEGER* pSerial = X509_get0_serialNumber(pCert);
    BnPtr bn(ASN1_INTEGER_to_BN(pSerial, nullptr));
    if (!bn) return false;
    char* szHex = BN_bn2hex(bn.get());
    if (szHex == nullptr) return false;
    strSerial = szHex;
    OPENSSL_free(szHex);
  }
  const int nSigNid = X509_get_signature_nid(pCert);
  const char* szSigName = nSigNid != NID_undef ? OBJ_nid2ln(nSigNid) : nullptr;

  std::string strKeyAlgo = "RSA";
  if (IsSm2Key(pKey)) {
    strKeyAlgo = "SM2";
  } else if (EVP_PKEY_is_a(pKey, "EC")) {
    strKeyAlgo = "EC";
  } else if (!EVP_PKEY_is_a(pKey, "RSA")) {
    const char* szType = EVP_PKEY_get0_type_name(pKey);
    strKeyAlgo = szType != nullptr ? szType : "";
  }

  std::string strSkid;
  if (const ASN1_OCTET_STRING* pSkid = X509_get0_subject_key_id(pCert)) {
    strSkid = HexUpper(ASN1_STRING_get0_data(pSkid), static_cast<size_t>(ASN1_STRING_length(pSkid)));
  }
  unsigned char thumb[EVP_MAX_MD_SIZE];
  unsigned int nThumb = 0;
  EvpMdPtr sha1(EVP_MD_fetch(nullptr, "SHA1", nullptr));
  if (!sha1 || X509_digest(pCert, sha1.get(), thumb, &nThumb) != 1) return false;

  info.m_nVersion = static_cast<int>(X509_get_version(pCert) + 1);
  info.m_strSerial = strSerial;
  info.m_strSubject = NameText(X509_get_subject_name(pCert));
  info.m_strSubjectCN = CommonName(X509_get_subject_name(pCert));
  info.m_strIssuer = NameText(X509_get_issuer_name(pCert));
  info.m_strIssuerCN = CommonName(X509_get_issuer_name(pCert));
  info.m_strNotBefore = TimeText(X509_get0_notBefore(pCert));
  info.m_strNotAfter = TimeText(X509_get0_notAfter(pCert));
  info.m_strSignatureAlgorithm = szSigName != nullptr ? szSigName : "";
  info.m_strKeyAlgorithm = strKeyAlgo;
  info.m_nKeyBits = EVP_PKEY_get_bits(pKey);
  info.m_strKeyUsage = KeyUsageText(pCert);
  info.m_strSubjectKeyId = strSkid;
  info.m_strThumbprint = HexUpper(thumb, nThumb);
  info.m_nPreferredDigest = PreferredDigest(pKey);
  return true;
}
