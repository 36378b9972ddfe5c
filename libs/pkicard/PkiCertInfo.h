#pragma once

#include <cstddef>
#include <string>

// What the card library tells about a certificate, read by the platform's
// crypto and laid out the same way on every platform (pkiCard.h shows the
// XML layout). Texts are UTF-8; names in RFC 2253 form; times in UTC as
// "YYYY-MM-DD HH:MM:SS"; hex in upper case without separators.
struct PkiCertInfo {
  int m_nVersion = 0;
  std::string m_strSerial;
  std::string m_strSubject;
  std::string m_strSubjectCN;
  std::string m_strIssuer;
  std::string m_strIssuerCN;
  std::string m_strNotBefore;
  std::string m_strNotAfter;
  std::string m_strSignatureAlgorithm;
  std::string m_strKeyAlgorithm;  // RSA, EC or SM2 (else the platform's name)
  int m_nKeyBits = 0;
  std::string m_strKeyUsage;      // comma-separated names, empty when absent
  std::string m_strSubjectKeyId;
  std::string m_strThumbprint;    // SHA-1 of the DER certificate
  int m_nPreferredDigest = 0;     // as pkiGetCertInfoEx
};

// The XML description of pkiGetXMLCertInfo.
std::string CertInfoXml(const PkiCertInfo& info);

// Escapes text for XML element content and attribute values.
std::string XmlEscape(const std::string& strText);

// Upper-case hex without separators.
std::string HexUpper(const unsigned char* p, size_t n);

// The names of the key usage bits, in bit order (digitalSignature first).
extern const char* const kKeyUsageNames[9];
