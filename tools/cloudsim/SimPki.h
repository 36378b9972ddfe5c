#pragma once

// The simulator's keys and certificates: a CA that issues the TLS certificate,
// the envelope certificate and every user's certificate; opening request
// envelopes, sealing replies and signing with a user's key.

#include <string>

#include "tools/cloudsim/SimOssl.h"

// A user's key pair and the certificate the CA issued for it.
struct CSimUserKey {
  SimKey key;
  SimCert cert;
};

class CSimPki {
 public:
  // Makes the CA, the TLS and the envelope key pairs and certificates.
  bool Create();

  std::string CaPem() const { return CertPem(m_caCert.get()); }
  std::string EnvelopePem() const { return CertPem(m_envelopeCert.get()); }
  EVP_PKEY* TlsKey() const { return m_tlsKey.get(); }
  X509* TlsCert() const { return m_tlsCert.get(); }

  // A fresh RSA-2048 key and its certificate: CN strCommonName, a random
  // 16-byte positive serial, keyUsage digitalSignature (critical).
  bool IssueUserKey(const std::string& strCommonName, CSimUserKey& user) const;

  // The content of a DER EnvelopedData sealed to the envelope certificate.
  bool OpenEnvelope(const std::string& strDer, std::string& strContent) const;

  static std::string CertPem(X509* pCert);
  // DER certificate, or null when strDer is not exactly one certificate.
  static SimCert ParseCertDer(const std::string& strDer);
  // strContent as DER EnvelopedData for pRecipient (issuer and serial, RSA
  // PKCS#1 v1.5 key transport, AES-256-CBC).
  static bool Seal(X509* pRecipient, const std::string& strContent, std::string& strDer);
  // RSA PKCS#1 v1.5 SHA-256 signature over strData.
  static bool Sign(EVP_PKEY* pKey, const std::string& strData, std::string& strSignature);

 private:
  SimKey m_caKey;
  SimCert m_caCert;
  SimKey m_tlsKey;
  SimCert m_tlsCert;
  SimKey m_envelopeKey;
  SimCert m_envelopeCert;
};
