#pragma once

#include <cstddef>

#include <openssl/evp.h>

// Verifies a signature of data by a public key. RSA: PKCS#1 v1.5 with the
// digest named in the recovered DigestInfo. EC: DER ECDSA-Sig-Value over any
// of the library's digests. SM2: SM3 with the distinguishing id
// "1234567812345678". Returns a card library code.
int VerifySignature(EVP_PKEY* pKey, const unsigned char* pData, size_t nDataLen,
                    const unsigned char* pSig, size_t nSigLen);

// The distinguishing id used for SM2 signatures.
extern const char kSm2DistinguishingId[];
