#pragma once

// The platform half of the card library. PkiCard.cpp (shared) checks the
// arguments, runs the Base64 protocol, lays out the XML and writes outputs
// into the caller's PkiBlob; a backend does the cryptography:
//   PkiBackend_posix.cpp  PKCS#11 token for the private key, OpenSSL 3
//   PkiBackend_win.cpp    the "MY" certificate store with CNG / CryptoAPI
// Every function returns a card library code (pkiCard.h). Inputs have been
// checked for null pointers; lengths are the caller's.

#include <cstddef>

#include "libs/pkicard/ByteVector.h"
#include "libs/pkicard/PkiCertInfo.h"

int BackendInit();
void BackendEnd();
// Called once at the end of every exported call (OpenSSL's error queue).
void BackendCallDone();

int BackendReadLabel(const char* szLabel, ByteVector& der);
int BackendCheckCert(const unsigned char* pCert, size_t nCertLen);
int BackendCertInfo(const unsigned char* pCert, size_t nCertLen, PkiCertInfo& info);
int BackendPreferredDigest(const unsigned char* pCert, size_t nCertLen, int& nDigestAlgo);
int BackendSealEnvelope(const unsigned char* pCert, size_t nCertLen, int nSymmAlgo,
                        const unsigned char* pPlain, size_t nPlainLen, ByteVector& envelope);
int BackendOpenEnvelope(const char* szLabel, const char* szPin, const unsigned char* pEnvelope,
                        size_t nLen, ByteVector& plain);
int BackendSign(const char* szLabel, const char* szPin, int nDigestAlgo, const unsigned char* pData,
                size_t nLen, ByteVector& signature);
int BackendVerify(const unsigned char* pCert, size_t nCertLen, const unsigned char* pData,
                  size_t nDataLen, const unsigned char* pSig, size_t nSigLen);
// Fills nCount bytes at pOut.
int BackendRandom(unsigned char* pOut, size_t nCount);
int BackendHash(int nHashAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest);
int BackendSymmCrypt(bool bEncrypt, int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                     const unsigned char* pIn, size_t nInLen, ByteVector& out);
// Wipes key material or plain text before the buffer goes.
void BackendCleanse(ByteVector& data);
