#include "libs/pkicard/PkiEnvelope.h"

#include <climits>
#include <cstring>


#include "libs/pkicard/DerReader.h"
#include "libs/pkicard/OsslPtr.h"
#include "libs/pkicard/OsslAlgorithms.h"
#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/pkiCard.h"

namespace {

const unsigned char kOidEncryptedData[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x06};


// True when the recipient identifier (IssuerAndSerialNumber or [0]
// SubjectKeyIdentifier) names the certificate.
bool RidMatches(const DerElement& rid, X509* pCert) {
  if (rid.m_nTag == kTagContext0Primitive) {
    const ASN1_OCTET_STRING* pSkid = X509_get0_subject_key_id(pCert);
    return pSkid != nullptr && static_cast<size_t>(ASN1_STRING_length(pSkid)) == rid.m_nValueLen &&
           std::memcmp(ASN1_STRING_get0_data(pSkid), rid.m_pValue, rid.m_nValueLen) == 0;
  }
  if (rid.m_nTag != kTagSequence) return false;
  CDerReader reader(rid);
  DerElement issuer, serial;
  if (!reader.Expect(kTagSequence, issuer) || !reader.Expect(kTagInteger, serial)) return false;
  const unsigned char* p = issuer.m_pHeader;
  X509NamePtr name(d2i_X509_NAME(nullptr, &p, static_cast<long>(issuer.TotalLen())));
  p = serial.m_pHeader;
  AsnIntegerPtr number(d2i_ASN1_INTEGER(nullptr, &p, static_cast<long>(serial.TotalLen())));
  return name && number && X509_NAME_cmp(name.get(), X509_get_issuer_name(pCert)) == 0 &&
         ASN1_INTEGER_cmp(number.get(), X509_get0_serialNumber(pCert)) == 0;
}

}  // namespace

int SealEnvelope(X509* pCert, int nSymmAlgo, const unsigned char* pData, size_t nLen, ByteVector& out) {
  EvpCipherPtr cipher = FetchSymmCipher(nSymmAlgo);
  if (!cipher) return PKI_ERR_UNSUPPORTED_ALGO;
  if (nLen > static_cast<size_t>(INT_MAX)) return PKI_ERR_INVALID_ARG;
  static const unsigned char kEmpty = 0;
  X509StackPtr recipients(sk_X509_new_null());
  BioPtr in(BIO_new_mem_buf(pData != nullptr ? pData : &kEmpty, static_cast<int>(nLen)));
  BioPtr mem(BIO_new(BIO_s_mem()));
  if (!recipients || !in || !mem || X509_up_ref(pCert) != 1) return PKI_ERR_CRYPTO;
  if (sk_X509_push(recipients.get(), pCert) <= 0) {
    X509_free(pCert);
    return PKI_ERR_CRYPTO;
  }
  CmsPtr cms(CMS_encrypt(recipients.get(), in.get(), cipher.get(), CMS_BINARY));
  if (!cms || i2d_CMS_bio(mem.get(), cms.get()) != 1) return PKI_ERR_CRYPTO;
  char* pOut = nullptr;
  const long nOut = BIO_get_mem_data(mem.get(), &pOut);
  if (nOut <= 0) return PKI_ERR_CRYPTO;
  out.assign(reinterpret_cast<unsigned char*>(pOut), reinterpret_cast<unsigned char*>(pOut) + nOut);
  return PKI_OK;
}

int FindEnvelopeRecipient(const unsigned char* pEnvelope, size_t nLen, X509* pCert,
                          EnvelopeRecipient& recipient) {
  if (pEnvelope == nullptr || nLen == 0 || nLen > static_cast<size_t>(LONG_MAX)) {
    return PKI_ERR_BAD_ENVELOPE;
  }
  // Let OpenSSL parse whatever BER the sender wrote and re-encode it as DER,
  // which the walk below can read.
  const unsigned char* p = pEnvelope;
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(nLen)));
  if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_enveloped) return PKI_ERR_BAD_ENVELOPE;
  unsigned char* pDer = nullptr;
  const int nDer = i2d_CMS_ContentInfo(cms.get(), &pDer);
  if (nDer <= 0) return PKI_ERR_BAD_ENVELOPE;
  const ByteVector der(pDer, pDer + nDer);
  OPENSSL_free(pDer);

  return FindKeyTransportRecipient(der.data(), der.size(),
                                   [pCert](const DerElement& rid) { return RidMatches(rid, pCert); },
                                   recipient);
}

int DecryptEnvelopeContent(const ByteVector& encryptedContentInfo, const ByteVector& contentKey,
                           ByteVector& plain) {
  // EncryptedData ::= SEQUENCE { version 0, encryptedContentInfo }, wrapped
  // in a ContentInfo, so that OpenSSL decrypts it with the recovered key.
  ByteVector encryptedData = {kTagInteger, 0x01, 0x00};
  encryptedData.insert(encryptedData.end(), encryptedContentInfo.begin(), encryptedContentInfo.end());
  ByteVector contentInfo = DerWrap(kTagOid, ByteVector(std::begin(kOidEncryptedData), std::end(kOidEncryptedData)));
  const ByteVector explicitContent = DerWrap(kTagContext0, DerWrap(kTagSequence, encryptedData));
  contentInfo.insert(contentInfo.end(), explicitContent.begin(), explicitContent.end());
  const ByteVector der = DerWrap(kTagSequence, contentInfo);

  const unsigned char* p = der.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())));
  BioPtr out(BIO_new(BIO_s_mem()));
  if (!cms || !out) return PKI_ERR_BAD_ENVELOPE;
  if (CMS_EncryptedData_decrypt(cms.get(), contentKey.data(), contentKey.size(), nullptr, out.get(),
                                CMS_BINARY) != 1) return PKI_ERR_DECRYPT;
  char* pPlain = nullptr;
  const long nPlain = BIO_get_mem_data(out.get(), &pPlain);
  plain.assign(reinterpret_cast<unsigned char*>(pPlain),
               reinterpret_cast<unsigned char*>(pPlain) + (nPlain > 0 ? nPlain : 0));
  return PKI_OK;
}
