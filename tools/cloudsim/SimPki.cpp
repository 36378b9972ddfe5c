#include "tools/cloudsim/SimPki.h"

#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <climits>
#include <initializer_list>
#include <utility>

namespace {

const long kOneYear = 365L * 24 * 3600;

SimKey NewRsaKey() { return SimKey(EVP_RSA_gen(2048)); }

bool SetRandomSerial(X509* pCert) {
  unsigned char abSerial[16];
  if (RAND_bytes(abSerial, sizeof(abSerial)) != 1) return false;
  // Positive and exactly 16 bytes long: top bit clear, next bit set.
  abSerial[0] = static_cast<unsigned char>((abSerial[0] & 0x7F) | 0x40);
  SimBn bn(BN_bin2bn(abSerial, sizeof(abSerial), nullptr));
  return bn && BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(pCert)) != nullptr;
}

bool AddExtension(X509* pCert, X509* pIssuer, int nNid, const char* szValue) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, pIssuer, pCert, nullptr, nullptr, 0);
  X509_EXTENSION* pExt = X509V3_EXT_nconf_nid(nullptr, &ctx, nNid, szValue);
  if (pExt == nullptr) return false;
  bool bOk = X509_add_ext(pCert, pExt, -1) == 1;
  X509_EXTENSION_free(pExt);
  return bOk;
}

struct CExt {
  int nNid;
  const char* szValue;
};

// A certificate for pKey named CN szCommonName, issued by pIssuer with
// pIssuerKey, or self-signed when pIssuer is null.
SimCert MakeCert(EVP_PKEY* pKey, const char* szCommonName, X509* pIssuer, EVP_PKEY* pIssuerKey,
                 std::initializer_list<CExt> exts) {
  SimCert cert(X509_new());
  if (!cert || X509_set_version(cert.get(), 2) != 1 || !SetRandomSerial(cert.get())) return nullptr;
  X509_NAME* pName = X509_get_subject_name(cert.get());
  if (X509_NAME_add_entry_by_txt(pName, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(szCommonName), -1, -1,
                                 0) != 1) {
    return nullptr;
  }
  X509* pSigner = pIssuer != nullptr ? pIssuer : cert.get();
  if (X509_set_issuer_name(cert.get(), X509_get_subject_name(pSigner)) != 1 ||
      X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(cert.get()), kOneYear) == nullptr ||
      X509_set_pubkey(cert.get(), pKey) != 1) {
    return nullptr;
  }
  for (const CExt& ext : exts) {
    if (!AddExtension(cert.get(), pSigner, ext.nNid, ext.szValue)) return nullptr;
  }
  if (X509_sign(cert.get(), pIssuerKey != nullptr ? pIssuerKey : pKey, EVP_sha256()) <= 0) {
    return nullptr;
  }
  return cert;
}

std::string BioText(BIO* pBio) {
  char* pData = nullptr;
  long nLen = BIO_get_mem_data(pBio, &pData);
  return nLen > 0 ? std::string(pData, static_cast<size_t>(nLen)) : std::string();
}

SimBio MemBio(const std::string& strBytes) {
  if (strBytes.size() > static_cast<size_t>(INT_MAX)) return nullptr;
  return SimBio(BIO_new_mem_buf(strBytes.data(), static_cast<int>(strBytes.size())));
}

}  // namespace

bool CSimPki::Create() {
  m_caKey = NewRsaKey();
  m_tlsKey = NewRsaKey();
  m_envelopeKey = NewRsaKey();
  if (!m_caKey || !m_tlsKey || !m_envelopeKey) return false;
  m_caCert = MakeCert(m_caKey.get(), "Cloudsim Test CA", nullptr, nullptr,
                      {{NID_basic_constraints, "critical,CA:TRUE"},
                       {NID_key_usage, "critical,keyCertSign,cRLSign"},
                       {NID_subject_key_identifier, "hash"}});
  if (!m_caCert) return false;
  m_tlsCert = MakeCert(m_tlsKey.get(), "127.0.0.1", m_caCert.get(), m_caKey.get(),
                       {{NID_basic_constraints, "critical,CA:FALSE"},
                        {NID_key_usage, "critical,digitalSignature,keyEncipherment"},
                        {NID_ext_key_usage, "serverAuth"},
                        {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                        {NID_authority_key_identifier, "keyid"}});
  m_envelopeCert = MakeCert(m_envelopeKey.get(), "Cloudsim Envelope", m_caCert.get(), m_caKey.get(),
                            {{NID_basic_constraints, "critical,CA:FALSE"},
                             {NID_key_usage, "critical,keyEncipherment"},
                             {NID_authority_key_identifier, "keyid"}});
  return m_tlsCert && m_envelopeCert;
}

bool CSimPki::IssueUserKey(const std::string& strCommonName, CSimUserKey& user) const {
  SimKey key = NewRsaKey();
  if (!key) return false;
  SimCert cert = MakeCert(key.get(), strCommonName.c_str(), m_caCert.get(), m_caKey.get(),
                          {{NID_basic_constraints, "critical,CA:FALSE"},
                           {NID_key_usage, "critical,digitalSignature"},
                           {NID_authority_key_identifier, "keyid"}});
  if (!cert) return false;
  user.key = std::move(key);
  user.cert = std::move(cert);
  return true;
}

bool CSimPki::OpenEnvelope(const std::string& strDer, std::string& strContent) const {
  SimBio in = MemBio(strDer);
  if (!in) return false;
  SimCms cms(d2i_CMS_bio(in.get(), nullptr));
  if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_enveloped) return false;
  SimBio out(BIO_new(BIO_s_mem()));
  if (!out || CMS_decrypt(cms.get(), m_envelopeKey.get(), m_envelopeCert.get(), nullptr, out.get(),
                          CMS_BINARY) != 1) {
    return false;
  }
  strContent = BioText(out.get());
  return true;
}

std::string CSimPki::CertPem(X509* pCert) {
  SimBio out(BIO_new(BIO_s_mem()));
  if (!out || PEM_write_bio_X509(out.get(), pCert) != 1) return std::string();
  return BioText(out.get());
}

SimCert CSimPki::ParseCertDer(const std::string& strDer) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(strDer.data());
  if (strDer.empty() || strDer.size() > static_cast<size_t>(LONG_MAX)) return nullptr;
  SimCert cert(d2i_X509(nullptr, &p, static_cast<long>(strDer.size())));
  // Trailing bytes mean this was not one certificate.
  if (!cert || p != reinterpret_cast<const unsigned char*>(strDer.data()) + strDer.size()) {
    return nullptr;
  }
  return cert;
}

bool CSimPki::Seal(X509* pRecipient, const std::string& strContent, std::string& strDer) {
  SimCertStack recipients(sk_X509_new_null());
  SimBio in = MemBio(strContent);
  if (!recipients || !in || X509_up_ref(pRecipient) != 1) return false;
  if (sk_X509_push(recipients.get(), pRecipient) <= 0) {
    X509_free(pRecipient);
    return false;
  }
  // Issuer and serial is CMS's default recipient identifier, PKCS#1 v1.5 its
  // default RSA key transport.
  SimCms cms(CMS_encrypt(recipients.get(), in.get(), EVP_aes_256_cbc(), CMS_BINARY));
  SimBio out(BIO_new(BIO_s_mem()));
  if (!cms || !out || i2d_CMS_bio(out.get(), cms.get()) != 1) return false;
  strDer = BioText(out.get());
  return !strDer.empty();
}

bool CSimPki::Sign(EVP_PKEY* pKey, const std::string& strData, std::string& strSignature) {
  SimMdCtx ctx(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pKeyCtx = nullptr;
  if (!ctx || EVP_DigestSignInit(ctx.get(), &pKeyCtx, EVP_sha256(), nullptr, pKey) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(pKeyCtx, RSA_PKCS1_PADDING) <= 0) {
    return false;
  }
  size_t nLen = 0;
  const unsigned char* pData = reinterpret_cast<const unsigned char*>(strData.data());
  if (EVP_DigestSign(ctx.get(), nullptr, &nLen, pData, strData.size()) != 1) return false;
  std::string strOut(nLen, '\0');
  if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(&strOut[0]), &nLen, pData,
                     strData.size()) != 1) {
    return false;
  }
  strOut.resize(nLen);
  strSignature.swap(strOut);
  return true;
}
