#include "libs/pkicard/WinCertificate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "libs/pkicard/EnvelopeDer.h"
#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/PkiBase64.h"
#include "libs/pkicard/pkiCard.h"

namespace {

const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const char kOidRsa[] = "1.2.840.113549.1.1.1";
const char kOidEcKey[] = "1.2.840.10045.2.1";

// DER OID contents of the named curves the library tells apart.
const unsigned char kCurveSm2[] = {0x2a, 0x81, 0x1c, 0xcf, 0x55, 0x01, 0x82, 0x2d};
const unsigned char kCurveP256[] = {0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};
const unsigned char kCurveP384[] = {0x2b, 0x81, 0x04, 0x00, 0x22};
const unsigned char kCurveP521[] = {0x2b, 0x81, 0x04, 0x00, 0x23};

// The curve OID contents of an EC key, empty for other keys.
ByteVector CurveOf(PCCERT_CONTEXT pCert) {
  const CRYPT_ALGORITHM_IDENTIFIER& algo = pCert->pCertInfo->SubjectPublicKeyInfo.Algorithm;
  if (algo.pszObjId == nullptr || std::strcmp(algo.pszObjId, kOidEcKey) != 0) return ByteVector();
  CDerReader reader(algo.Parameters.pbData, algo.Parameters.cbData);
  DerElement oid;
  if (!reader.Expect(kTagOid, oid)) return ByteVector();
  return ByteVector(oid.m_pValue, oid.m_pValue + oid.m_nValueLen);
}

template <size_t N>
bool IsCurve(const ByteVector& curve, const unsigned char (&oid)[N]) {
  return curve.size() == N && std::memcmp(curve.data(), oid, N) == 0;
}

// The byte width of r and s on the named curves CNG knows (0: another curve).
size_t CurveBytes(const ByteVector& curve) {
  if (IsCurve(curve, kCurveP256)) return 32;
  if (IsCurve(curve, kCurveP384)) return 48;
  if (IsCurve(curve, kCurveP521)) return 66;
  return 0;
}

ByteVector Reversed(const BYTE* p, DWORD n) {
  ByteVector out(p, p + n);
  std::reverse(out.begin(), out.end());
  return out;
}

// Unsigned big-endian bytes without leading zeros.
ByteVector Trimmed(const unsigned char* p, size_t n) {
  while (n > 0 && *p == 0) {
    ++p;
    --n;
  }
  return ByteVector(p, p + n);
}

// Short names of attribute types as OpenSSL prints them in RFC 2253 names.
const char* AttributeName(const char* szOid) {
  static const struct {
    const char* m_szOid;
    const char* m_szName;
  } kNames[] = {
      {"2.5.4.3", "CN"},        {"2.5.4.6", "C"},    {"2.5.4.7", "L"},     {"2.5.4.8", "ST"},
      {"2.5.4.10", "O"},        {"2.5.4.11", "OU"},  {"2.5.4.9", "street"}, {"2.5.4.5", "serialNumber"},
      {"2.5.4.4", "SN"},        {"2.5.4.42", "GN"},  {"2.5.4.12", "title"},
      {"0.9.2342.19200300.100.1.25", "DC"},          {"0.9.2342.19200300.100.1.1", "UID"},
      {"1.2.840.113549.1.9.1", "emailAddress"},
  };
  for (const auto& name : kNames) {
    if (std::strcmp(name.m_szOid, szOid) == 0) return name.m_szName;
  }
  return szOid;
}

std::string AttributeValue(const CERT_RDN_ATTR& attr) {
  const DWORD nChars = ::CertRDNValueToStrW(attr.dwValueType, const_cast<PCERT_RDN_VALUE_BLOB>(&attr.Value),
                                            nullptr, 0);
  if (nChars <= 1) return std::string();
  std::vector<wchar_t> text(nChars);
  ::CertRDNValueToStrW(attr.dwValueType, const_cast<PCERT_RDN_VALUE_BLOB>(&attr.Value), text.data(), nChars);
  return Utf8FromWide(text.data(), nChars - 1);
}

// RFC 2253 escaping of one value, as OpenSSL writes it.
std::string EscapeRfc2253(const std::string& strValue) {
  std::string s;
  for (size_t i = 0; i < strValue.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(strValue[i]);
    const bool bEdge = (i == 0 && (c == '#' || c == ' ')) || (i + 1 == strValue.size() && c == ' ');
    if (c < 0x20 || c == 0x7f) {
      char szHex[8];
      std::snprintf(szHex, sizeof szHex, "\\%02X", c);
      s += szHex;
    } else if (bEdge || std::strchr(",+\"\\<>;", c) != nullptr) {
      s += '\\';
      s += static_cast<char>(c);
    } else {
      s += static_cast<char>(c);
    }
  }
  return s;
}

struct CNameInfoFree {
  void operator()(CERT_NAME_INFO* p) const { ::LocalFree(p); }
};

// The name in RFC 2253 form, and its first common name.
void NameTexts(const CERT_NAME_BLOB& blob, std::string& strName, std::string& strCommonName) {
  strName.clear();
  strCommonName.clear();
  CERT_NAME_INFO* pRaw = nullptr;
  DWORD nSize = 0;
  if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, X509_NAME, blob.pbData, blob.cbData, CRYPT_DECODE_ALLOC_FLAG,
                             nullptr, &pRaw, &nSize)) {
    return;
  }
  std::unique_ptr<CERT_NAME_INFO, CNameInfoFree> info(pRaw);
  bool bHaveCn = false;
  for (DWORD i = 0; i < info->cRDN; ++i) {
    const CERT_RDN& rdn = info->rgRDN[i];
    for (DWORD k = 0; k < rdn.cRDNAttr; ++k) {
      if (!bHaveCn && std::strcmp(rdn.rgRDNAttr[k].pszObjId, szOID_COMMON_NAME) == 0) {
        strCommonName = AttributeValue(rdn.rgRDNAttr[k]);
        bHaveCn = true;
      }
    }
  }
  for (DWORD i = info->cRDN; i-- > 0;) {  // RFC 2253 writes the last RDN first
    const CERT_RDN& rdn = info->rgRDN[i];
    if (!strName.empty()) strName += ',';
    for (DWORD k = 0; k < rdn.cRDNAttr; ++k) {
      if (k != 0) strName += '+';
      strName += AttributeName(rdn.rgRDNAttr[k].pszObjId);
      strName += '=';
      strName += EscapeRfc2253(AttributeValue(rdn.rgRDNAttr[k]));
    }
  }
}

std::string TimeText(const FILETIME& time) {
  SYSTEMTIME st{};
  if (!::FileTimeToSystemTime(&time, &st)) return std::string();
  char szText[32];
  std::snprintf(szText, sizeof szText, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
  return szText;
}

// OpenSSL's long names of the usual signature algorithms.
std::string SignatureName(const char* szOid) {
  static const struct {
    const char* m_szOid;
    const char* m_szName;
  } kNames[] = {
      {"1.2.840.113549.1.1.5", "sha1WithRSAEncryption"},   {"1.2.840.113549.1.1.11", "sha256WithRSAEncryption"},
      {"1.2.840.113549.1.1.12", "sha384WithRSAEncryption"}, {"1.2.840.113549.1.1.13", "sha512WithRSAEncryption"},
      {"1.2.840.10045.4.1", "ecdsa-with-SHA1"},            {"1.2.840.10045.4.3.2", "ecdsa-with-SHA256"},
      {"1.2.840.10045.4.3.3", "ecdsa-with-SHA384"},        {"1.2.840.10045.4.3.4", "ecdsa-with-SHA512"},
      {"1.2.156.10197.1.501", "SM2-with-SM3"},             {"1.2.156.10197.1.504", "sm3WithRSAEncryption"},
  };
  if (szOid == nullptr) return std::string();
  for (const auto& name : kNames) {
    if (std::strcmp(name.m_szOid, szOid) == 0) return name.m_szName;
  }
  return szOid;
}

std::string KeyUsageText(PCCERT_CONTEXT pCert) {
  BYTE usage[2] = {0, 0};
  if (!::CertGetIntendedKeyUsage(X509_ASN_ENCODING, pCert->pCertInfo, usage, sizeof usage)) return std::string();
  const unsigned nBits = (static_cast<unsigned>(usage[0]) << 8) | usage[1];
  std::string s;
  for (unsigned i = 0; i < 9; ++i) {
    if ((nBits & (0x8000u >> i)) == 0) continue;
    if (!s.empty()) s += ',';
    s += kKeyUsageNames[i];
  }
  return s;
}

// The contents of the subject key identifier extension, empty when absent.
ByteVector SubjectKeyId(PCCERT_CONTEXT pCert) {
  const CERT_INFO* pInfo = pCert->pCertInfo;
  PCERT_EXTENSION pExt = ::CertFindExtension(szOID_SUBJECT_KEY_IDENTIFIER, pInfo->cExtension, pInfo->rgExtension);
  if (pExt == nullptr) return ByteVector();
  CDerReader reader(pExt->Value.pbData, pExt->Value.cbData);
  DerElement value;
  if (!reader.Expect(kTagOctetString, value)) return ByteVector();
  return ByteVector(value.m_pValue, value.m_pValue + value.m_nValueLen);
}

int ImportPublicKey(PCCERT_CONTEXT pCert, BKeyHandle& hKey) {
  if (!::CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING,
                                     const_cast<PCERT_PUBLIC_KEY_INFO>(&pCert->pCertInfo->SubjectPublicKeyInfo), 0,
                                     nullptr, hKey.Out())) {
    return PKI_ERR_CRYPTO;
  }
  return PKI_OK;
}

// Certificates of the trust store file or directory; false when unreadable.
bool LoadAnchors(const std::string& strTrustStore, HCERTSTORE hStore) {
  std::vector<std::string> files;
  std::error_code ec;
  if (std::filesystem::is_directory(strTrustStore, ec)) {
    for (const auto& entry : std::filesystem::directory_iterator(strTrustStore, ec)) {
      if (entry.is_regular_file(ec)) files.push_back(entry.path().string());
    }
  } else {
    files.push_back(strTrustStore);
  }
  size_t nAdded = 0;
  for (const std::string& strFile : files) {
    std::ifstream in(strFile, std::ios::binary);
    if (!in) continue;
    std::ostringstream text;
    text << in.rdbuf();
    const std::string strText = text.str();
    std::vector<ByteVector> certs = PemCertificates(strText.data(), strText.size());
    ByteVector der;
    if (certs.empty() && CertificateDer(reinterpret_cast<const unsigned char*>(strText.data()), strText.size(), der)) {
      certs.push_back(der);
    }
    for (const ByteVector& cert : certs) {
      if (::CertAddEncodedCertificateToStore(hStore, X509_ASN_ENCODING, cert.data(), static_cast<DWORD>(cert.size()),
                                             CERT_STORE_ADD_USE_EXISTING, nullptr)) {
        ++nAdded;
      }
    }
  }
  return nAdded != 0;
}

}  // namespace

emWinKeyKind WinKeyKind(PCCERT_CONTEXT pCert) {
  const char* szOid = pCert->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId;
  if (szOid == nullptr) return WIN_KEY_OTHER;
  if (std::strcmp(szOid, kOidRsa) == 0) return WIN_KEY_RSA;
  if (std::strcmp(szOid, kOidEcKey) == 0) return IsCurve(CurveOf(pCert), kCurveSm2) ? WIN_KEY_SM2 : WIN_KEY_EC;
  return WIN_KEY_OTHER;
}

int WinParseCertificate(const unsigned char* pData, size_t nLen, CertHandle& cert) {
  ByteVector der;
  if (!CertificateDer(pData, nLen, der) || der.size() > MAXDWORD) return PKI_ERR_BAD_CERT;
  cert.Reset(::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  return cert ? PKI_OK : PKI_ERR_BAD_CERT;
}

int WinPreferredDigest(PCCERT_CONTEXT pCert) {
  const ByteVector curve = CurveOf(pCert);
  if (IsCurve(curve, kCurveSm2)) return PKI_DIGEST_SM3;
  if (IsCurve(curve, kCurveP384)) return PKI_DIGEST_SHA384;
  if (IsCurve(curve, kCurveP521)) return PKI_DIGEST_SHA512;
  return PKI_DIGEST_SHA256;
}

int WinCertificateInfo(PCCERT_CONTEXT pCert, PkiCertInfo& info) {
  const CERT_INFO* pInfo = pCert->pCertInfo;
  info.m_nVersion = static_cast<int>(pInfo->dwVersion) + 1;
  const ByteVector serial = Trimmed(Reversed(pInfo->SerialNumber.pbData, pInfo->SerialNumber.cbData).data(),
                                    pInfo->SerialNumber.cbData);
  info.m_strSerial = serial.empty() ? "0" : HexUpper(serial.data(), serial.size());
  NameTexts(pInfo->Subject, info.m_strSubject, info.m_strSubjectCN);
  NameTexts(pInfo->Issuer, info.m_strIssuer, info.m_strIssuerCN);
  info.m_strNotBefore = TimeText(pInfo->NotBefore);
  info.m_strNotAfter = TimeText(pInfo->NotAfter);
  info.m_strSignatureAlgorithm = SignatureName(pInfo->SignatureAlgorithm.pszObjId);
  switch (WinKeyKind(pCert)) {
    case WIN_KEY_RSA: info.m_strKeyAlgorithm = "RSA"; break;
    case WIN_KEY_EC: info.m_strKeyAlgorithm = "EC"; break;
    case WIN_KEY_SM2: info.m_strKeyAlgorithm = "SM2"; break;
    default: {
      const char* szOid = pInfo->SubjectPublicKeyInfo.Algorithm.pszObjId;
      info.m_strKeyAlgorithm = szOid != nullptr ? szOid : "";
    }
  }
  info.m_nKeyBits = static_cast<int>(
      ::CertGetPublicKeyLength(X509_ASN_ENCODING, const_cast<PCERT_PUBLIC_KEY_INFO>(&pInfo->SubjectPublicKeyInfo)));
  if (info.m_nKeyBits == 0) {  // not every CryptoAPI measures EC keys
    const ByteVector curve = CurveOf(pCert);
    info.m_nKeyBits = IsCurve(curve, kCurveP521) ? 521 : static_cast<int>(CurveBytes(curve) * 8);
    if (IsCurve(curve, kCurveSm2)) info.m_nKeyBits = 256;
  }
  info.m_strKeyUsage = KeyUsageText(pCert);
  const ByteVector skid = SubjectKeyId(pCert);
  info.m_strSubjectKeyId = HexUpper(skid.data(), skid.size());
  ByteVector thumb;
  const int nResult = WinHash(PKI_DIGEST_SHA1, pCert->pbCertEncoded, pCert->cbCertEncoded, thumb);
  if (nResult != PKI_OK) return nResult;
  info.m_strThumbprint = HexUpper(thumb.data(), thumb.size());
  info.m_nPreferredDigest = WinPreferredDigest(pCert);
  return PKI_OK;
}

int WinCheckCertificate(PCCERT_CONTEXT pCert, const std::string& strTrustStore) {
  StoreHandle hAnchors;
  if (!strTrustStore.empty()) {
    hAnchors.Reset(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
    if (!hAnchors) return PKI_ERR_CRYPTO;
    if (!LoadAnchors(strTrustStore, hAnchors.Get())) return PKI_ERR_TRUST_STORE;
  }
  const LONG nTime = ::CertVerifyTimeValidity(nullptr, pCert->pCertInfo);
  if (nTime < 0) return PKI_ERR_CERT_NOT_YET_VALID;
  if (nTime > 0) return PKI_ERR_CERT_EXPIRED;

  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  ChainHandle chain;
  if (!::CertGetCertificateChain(nullptr, pCert, nullptr, hAnchors.Get(), &para, 0, nullptr, chain.Out())) {
    return PKI_ERR_CERT_INVALID;
  }
  DWORD nStatus = chain.Get()->TrustStatus.dwErrorStatus;
  if (nStatus & CERT_TRUST_IS_NOT_TIME_VALID) return PKI_ERR_CERT_EXPIRED;  // an issuer's period
  const CERT_SIMPLE_CHAIN* pSimple = chain.Get()->rgpChain[0];
  PCCERT_CONTEXT pRoot = pSimple->rgpElement[pSimple->cElement - 1]->pCertContext;
  if (hAnchors) {
    // Only the configured anchors are trusted: the chain must end in one.
    CertHandle found(::CertFindCertificateInStore(hAnchors.Get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, pRoot,
                                                  nullptr));
    if (!found || (nStatus & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) return PKI_ERR_CERT_UNTRUSTED;
    nStatus &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
  }
  if (nStatus & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) return PKI_ERR_CERT_UNTRUSTED;
  // Revocation is not asked for (as on every platform: no CRLs are fetched).
  nStatus &= ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  return nStatus == 0 ? PKI_OK : PKI_ERR_CERT_INVALID;
}

int WinVerifySignature(PCCERT_CONTEXT pCert, const unsigned char* pData, size_t nDataLen,
                       const unsigned char* pSig, size_t nSigLen) {
  const emWinKeyKind nKind = WinKeyKind(pCert);
  if (nKind != WIN_KEY_RSA && nKind != WIN_KEY_EC) return PKI_ERR_UNSUPPORTED_ALGO;
  if (pSig == nullptr || nSigLen == 0 || nSigLen > MAXDWORD) return PKI_ERR_SIGNATURE_INVALID;
  BKeyHandle hKey;
  int nResult = ImportPublicKey(pCert, hKey);
  if (nResult != PKI_OK) return nResult;
  ByteVector raw(pSig, pSig + nSigLen);
  size_t nHalf = 0;
  if (nKind == WIN_KEY_EC) {
    nHalf = CurveBytes(CurveOf(pCert));
    if (nHalf == 0) return PKI_ERR_UNSUPPORTED_ALGO;
    if (!EcdsaDerToRaw(pSig, nSigLen, nHalf, raw)) return PKI_ERR_SIGNATURE_INVALID;
  }
  // The signature does not say its digest: any of the library's may have
  // made it (RSA: the DigestInfo inside names it).
  for (int nAlgo = kFirstDigestAlgo; nAlgo <= kLastDigestAlgo; ++nAlgo) {
    ByteVector digest;
    if (WinHash(nAlgo, pData, nDataLen, digest) != PKI_OK) continue;
    NTSTATUS nStatus = 0;
    if (nKind == WIN_KEY_RSA) {
      // SM3, which CNG does not name, is checked over its whole DigestInfo
      // (no algorithm id: the padding holds exactly the bytes given).
      ByteVector hash = digest;
      BCRYPT_PKCS1_PADDING_INFO pad{CngDigestName(nAlgo)};
      if (pad.pszAlgId == nullptr && !MakeDigestInfo(nAlgo, digest, hash)) continue;
      nStatus = ::BCryptVerifySignature(hKey.Get(), &pad, hash.data(), static_cast<ULONG>(hash.size()), raw.data(),
                                        static_cast<ULONG>(raw.size()), BCRYPT_PAD_PKCS1);
    } else {
      // ECDSA uses the leftmost bits of a digest longer than the curve (the
      // curves here are whole bytes wide, or wider than every digest).
      if (digest.size() > nHalf) digest.resize(nHalf);
      nStatus = ::BCryptVerifySignature(hKey.Get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                        raw.data(), static_cast<ULONG>(raw.size()), 0);
    }
    if (nStatus >= 0) return PKI_OK;
  }
  return PKI_ERR_SIGNATURE_INVALID;
}

int WinSealEnvelope(PCCERT_CONTEXT pCert, int nSymmAlgo, const unsigned char* pPlain, size_t nLen,
                    ByteVector& envelope) {
  size_t nKeyLen = 0, nIvLen = 0;
  if (!SymmSizes(nSymmAlgo, nKeyLen, nIvLen)) return PKI_ERR_UNSUPPORTED_ALGO;
  if (WinKeyKind(pCert) != WIN_KEY_RSA) return PKI_ERR_UNSUPPORTED_ALGO;
  ByteVector contentKey(nKeyLen);
  int nResult = WinRandom(contentKey.data(), contentKey.size());
  if (nResult != PKI_OK) return nResult;
  ByteVector ivAndCipher;
  nResult = WinSymmCrypt(true, nSymmAlgo, contentKey.data(), contentKey.size(), pPlain, nLen, ivAndCipher);
  if (nResult != PKI_OK) return nResult;

  BKeyHandle hKey;
  nResult = ImportPublicKey(pCert, hKey);
  if (nResult != PKI_OK) return nResult;
  ULONG nOut = 0;
  NTSTATUS nStatus = ::BCryptEncrypt(hKey.Get(), contentKey.data(), static_cast<ULONG>(contentKey.size()), nullptr,
                                     nullptr, 0, nullptr, 0, &nOut, BCRYPT_PAD_PKCS1);
  ByteVector encryptedKey(nOut);
  if (nStatus >= 0) {
    nStatus = ::BCryptEncrypt(hKey.Get(), contentKey.data(), static_cast<ULONG>(contentKey.size()), nullptr, nullptr,
                              0, encryptedKey.data(), nOut, &nOut, BCRYPT_PAD_PKCS1);
  }
  SecureZeroMemory(contentKey.data(), contentKey.size());
  if (nStatus < 0) return PkiCodeFromStatus(nStatus);
  encryptedKey.resize(nOut);

  const CERT_INFO* pInfo = pCert->pCertInfo;
  const ByteVector issuer(pInfo->Issuer.pbData, pInfo->Issuer.pbData + pInfo->Issuer.cbData);
  const ByteVector serial = Reversed(pInfo->SerialNumber.pbData, pInfo->SerialNumber.cbData);
  const ByteVector iv(ivAndCipher.begin(), ivAndCipher.begin() + static_cast<std::ptrdiff_t>(nIvLen));
  const ByteVector cipher(ivAndCipher.begin() + static_cast<std::ptrdiff_t>(nIvLen), ivAndCipher.end());
  return BuildEnvelopedData(issuer, serial, encryptedKey, nSymmAlgo, iv, cipher, envelope) ? PKI_OK
                                                                                           : PKI_ERR_CRYPTO;
}

bool WinRecipientMatches(PCCERT_CONTEXT pCert, const DerElement& rid) {
  if (rid.m_nTag == kTagContext0Primitive) {
    const ByteVector skid = SubjectKeyId(pCert);
    return !skid.empty() && skid.size() == rid.m_nValueLen &&
           std::memcmp(skid.data(), rid.m_pValue, rid.m_nValueLen) == 0;
  }
  if (rid.m_nTag != kTagSequence) return false;
  CDerReader reader(rid);
  DerElement issuer, serial;
  if (!reader.Expect(kTagSequence, issuer) || !reader.Expect(kTagInteger, serial)) return false;
  const CERT_INFO* pInfo = pCert->pCertInfo;
  const ByteVector ours = Reversed(pInfo->SerialNumber.pbData, pInfo->SerialNumber.cbData);
  return issuer.TotalLen() == pInfo->Issuer.cbData &&
         std::memcmp(issuer.m_pHeader, pInfo->Issuer.pbData, pInfo->Issuer.cbData) == 0 &&
         Trimmed(serial.m_pValue, serial.m_nValueLen) == Trimmed(ours.data(), ours.size());
}
