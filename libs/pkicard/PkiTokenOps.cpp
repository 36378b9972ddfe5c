#include "libs/pkicard/PkiTokenOps.h"

#include <cstring>


#include "libs/pkicard/OsslPtr.h"
#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/PkiEnvelope.h"

namespace {

ByteVector LabelBytes(const char* szLabel) {
  return ByteVector(szLabel, szLabel + std::strlen(szLabel));
}

// DER of the named curve OID 1.2.156.10197.1.301 (SM2), as CKA_EC_PARAMS
// holds it: SM2 keys need the SM2 signature, which plain ECDSA is not.
const unsigned char kSm2CurveParams[] = {0x06, 0x08, 0x2a, 0x81, 0x1c, 0xcf,
                                         0x55, 0x01, 0x82, 0x2d};

// Finds the private key that belongs to a certificate (by its CKA_ID).
// Needs the login.
int FindCertificateKey(const CP11Token& token, CK_OBJECT_HANDLE hCert, CK_OBJECT_HANDLE& hKey) {
  ByteVector id;
  const int nResult = token.GetAttribute(hCert, CKA_ID, id);
  if (nResult != PKI_OK) return nResult;
  return token.FindFirst(CKO_PRIVATE_KEY, CKA_ID, id, hKey);
}

}  // namespace

int ReadTokenCertificate(const CP11Token& token, const char* szLabel, ByteVector& der) {
  CK_OBJECT_HANDLE hCert = CK_INVALID_HANDLE;
  const int nResult = token.FindFirst(CKO_CERTIFICATE, CKA_LABEL, LabelBytes(szLabel), hCert);
  if (nResult != PKI_OK) return nResult;
  return token.GetAttribute(hCert, CKA_VALUE, der);
}

namespace {

// Learns which key a label names and what kind it is. Needs the login.
int LearnKeyInfo(const CP11Token& token, bool bHaveCert, CK_OBJECT_HANDLE hKey, P11KeyInfo& info) {
  info.m_bByCertificate = bHaveCert;
  int nResult = token.GetUlongAttribute(hKey, CKA_KEY_TYPE, info.m_nKeyType);
  if (nResult != PKI_OK) return nResult;
  if (info.m_nKeyType == CKK_EC) {
    ByteVector params;
    nResult = token.GetAttribute(hKey, CKA_EC_PARAMS, params);
    if (nResult != PKI_OK) return nResult;
    info.m_bSm2 = params.size() == sizeof kSm2CurveParams &&
                  std::memcmp(params.data(), kSm2CurveParams, params.size()) == 0;
  }
  return PKI_OK;
}

int SignWithKey(const CP11Token& token, CK_OBJECT_HANDLE hKey, const P11KeyInfo& info, int nDigestAlgo,
                const ByteVector& digest, ByteVector& signature) {
  if (info.m_nKeyType == CKK_RSA) {
    ByteVector digestInfo;
    if (!MakeDigestInfo(nDigestAlgo, digest, digestInfo)) return PKI_ERR_UNSUPPORTED_ALGO;
    return token.Sign(hKey, CKM_RSA_PKCS, digestInfo, signature);
  }
  if (info.m_nKeyType == CKK_EC && !info.m_bSm2) {
    ByteVector raw;
    const int nResult = token.Sign(hKey, CKM_ECDSA, digest, raw);
    if (nResult != PKI_OK) return nResult;
    return EcdsaRawToDer(raw.data(), raw.size(), signature) ? PKI_OK : PKI_ERR_TOKEN_FAILURE;
  }
  return PKI_ERR_UNSUPPORTED_ALGO;
}

}  // namespace

int SignOnToken(CP11Token& token, const char* szLabel, const char* szPin, int nDigestAlgo,
                const ByteVector& digest, ByteVector& signature) {
  // What the label names is remembered after the first call, so that a
  // signature costs what the bare sequence costs: log in, find the key, sign,
  // log out. The key is still looked up on every call.
  const P11KeyInfo* pKnown = token.FindKeyInfo(szLabel);
  P11KeyInfo learned;
  CK_OBJECT_HANDLE hCert = CK_INVALID_HANDLE;
  bool bHaveCert = false;
  int nResult = PKI_OK;
  if (pKnown == nullptr) {
    nResult = token.FindFirst(CKO_CERTIFICATE, CKA_LABEL, LabelBytes(szLabel), hCert);
    if (nResult != PKI_OK && nResult != PKI_ERR_OBJECT_NOT_FOUND) return nResult;
    bHaveCert = nResult == PKI_OK;
    if (bHaveCert) {
      nResult = token.GetAttribute(hCert, CKA_ID, learned.m_id);
      if (nResult != PKI_OK) return nResult;
    }
  } else {
    bHaveCert = pKnown->m_bByCertificate;
    learned = *pKnown;
  }

  CP11Login login(token, szPin);
  if (login.Result() != PKI_OK) return login.Result();

  CK_OBJECT_HANDLE hKey = CK_INVALID_HANDLE;
  if (bHaveCert) {
    nResult = token.FindFirst(CKO_PRIVATE_KEY, CKA_ID, learned.m_id, hKey);
  } else {
    nResult = token.FindFirst(CKO_PRIVATE_KEY, CKA_LABEL, LabelBytes(szLabel), hKey);
    if (nResult == PKI_ERR_KEY_NOT_FOUND) nResult = PKI_ERR_OBJECT_NOT_FOUND;
  }
  if (nResult == PKI_OK && pKnown == nullptr) {
    nResult = LearnKeyInfo(token, bHaveCert, hKey, learned);
  }
  if (nResult == PKI_OK) nResult = SignWithKey(token, hKey, learned, nDigestAlgo, digest, signature);

  if (nResult == PKI_OK) {
    if (pKnown == nullptr) token.RememberKeyInfo(szLabel, learned);
  } else {
    token.ForgetKeyInfo(szLabel);
  }
  return nResult;
}

int OpenEnvelopeOnToken(const CP11Token& token, const char* szLabel, const char* szPin,
                        const unsigned char* pEnvelope, size_t nLen, ByteVector& plain) {
  CK_OBJECT_HANDLE hCert = CK_INVALID_HANDLE;
  int nResult = token.FindFirst(CKO_CERTIFICATE, CKA_LABEL, LabelBytes(szLabel), hCert);
  if (nResult != PKI_OK) return nResult;
  ByteVector certDer;
  nResult = token.GetAttribute(hCert, CKA_VALUE, certDer);
  if (nResult != PKI_OK) return nResult;
  const unsigned char* p = certDer.data();
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(certDer.size())));
  if (!cert) return PKI_ERR_BAD_CERT;

  EnvelopeRecipient recipient;
  nResult = FindEnvelopeRecipient(pEnvelope, nLen, cert.get(), recipient);
  if (nResult != PKI_OK) return nResult;

  ByteVector contentKey;
  {
    CP11Login login(token, szPin);
    if (login.Result() != PKI_OK) return login.Result();
    CK_OBJECT_HANDLE hKey = CK_INVALID_HANDLE;
    nResult = FindCertificateKey(token, hCert, hKey);
    if (nResult != PKI_OK) return nResult;
    nResult = token.Decrypt(hKey, CKM_RSA_PKCS, recipient.m_encryptedKey, contentKey);
    if (nResult != PKI_OK) return nResult;
  }
  nResult = DecryptEnvelopeContent(recipient.m_encryptedContentInfo, contentKey, plain);
  OPENSSL_cleanse(contentKey.data(), contentKey.size());
  return nResult;
}
