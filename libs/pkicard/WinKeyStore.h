#pragma once

// Private keys on Windows: the certificate is found in the current user's
// "MY" store by its label, its key opened through the certificate (CNG key
// storage preferred, a legacy CSP otherwise), and the PIN given for the call
// set on that key handle only. Each function returns a card library code.

#include "libs/pkicard/ByteVector.h"
#include "libs/pkicard/WinCrypto.h"

// The certificate whose friendly name is the label (a PFX's friendlyName,
// or the name given on import), else the one whose subject common name is.
int FindMyCertificate(const char* szLabel, CertHandle& cert);

// Signs a digest: RSA PKCS#1 v1.5 over the DigestInfo, or ECDSA (DER).
int WinSignDigest(PCCERT_CONTEXT pCert, const char* szPin, int nDigestAlgo, const ByteVector& digest,
                  ByteVector& signature);

// Decrypts a PKCS#1 v1.5 encrypted content key.
int WinDecryptKey(PCCERT_CONTEXT pCert, const char* szPin, const ByteVector& encrypted, ByteVector& plain);
