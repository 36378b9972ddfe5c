#pragma once

// Certificates on Windows: CryptoAPI certificate contexts and chains, CNG
// public keys. Each function returns a card library code.

#include <cstddef>
#include <string>

#include "libs/pkicard/ByteVector.h"
#include "libs/pkicard/DerReader.h"
#include "libs/pkicard/PkiCertInfo.h"
#include "libs/pkicard/WinCrypto.h"

// A certificate given as DER or PEM.
int WinParseCertificate(const unsigned char* pData, size_t nLen, CertHandle& cert);

int WinCertificateInfo(PCCERT_CONTEXT pCert, PkiCertInfo& info);

// The digest number that suits the key: SM2 3, EC P-384 4, EC P-521 5, else 2.
int WinPreferredDigest(PCCERT_CONTEXT pCert);

// Validity period and chain (the chain engine of the current user). With a
// trust store (PEM file, or a directory of PEM / DER files) the chain must
// end in one of its certificates; without one, in the system's roots.
int WinCheckCertificate(PCCERT_CONTEXT pCert, const std::string& strTrustStore);

// RSA PKCS#1 v1.5 under any of the library's digests, or DER ECDSA.
int WinVerifySignature(PCCERT_CONTEXT pCert, const unsigned char* pData, size_t nDataLen,
                       const unsigned char* pSig, size_t nSigLen);

// CMS EnvelopedData for the certificate's RSA key.
int WinSealEnvelope(PCCERT_CONTEXT pCert, int nSymmAlgo, const unsigned char* pPlain, size_t nLen,
                    ByteVector& envelope);

// Key facts read from the certificate.
enum emWinKeyKind { WIN_KEY_RSA, WIN_KEY_EC, WIN_KEY_SM2, WIN_KEY_OTHER };
emWinKeyKind WinKeyKind(PCCERT_CONTEXT pCert);

// True when a CMS RecipientIdentifier names the certificate.
bool WinRecipientMatches(PCCERT_CONTEXT pCert, const DerElement& rid);
