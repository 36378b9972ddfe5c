#pragma once

#include <cstddef>
#include <string>

#include "libs/pkicard/OsslPtr.h"
#include "libs/pkicard/PkiCertInfo.h"

// Parses a certificate given as DER or PEM. Null when it is neither.
X509Ptr ParseCertificate(const unsigned char* pData, size_t nLen);

// True for a key on the SM2 curve.
bool IsSm2Key(const EVP_PKEY* pKey);

// The digest number that suits the key: SM2 3, EC P-384 4, EC P-521 5, else 2.
int PreferredDigest(const EVP_PKEY* pKey);

// Checks validity period and chain to the trust store (a PEM file or hashed
// directory; empty: the system's default). Returns a card library code.
int CheckCertificate(X509* pCert, const std::string& strTrustStore);

// What the XML description tells about the certificate.
bool ReadCertInfo(X509* pCert, PkiCertInfo& info);
