#pragma once

#include <cstddef>

#include "libs/pkicard/ByteVector.h"

// The card library's algorithm numbers.
enum emPkiDigest { PKI_DIGEST_SHA1 = 1, PKI_DIGEST_SHA256 = 2, PKI_DIGEST_SM3 = 3,
                   PKI_DIGEST_SHA384 = 4, PKI_DIGEST_SHA512 = 5 };
enum emPkiSymm { PKI_SYMM_AES128 = 1, PKI_SYMM_AES256 = 2, PKI_SYMM_SM4 = 3, PKI_SYMM_3DES = 4 };

constexpr int kFirstDigestAlgo = PKI_DIGEST_SHA1;
constexpr int kLastDigestAlgo = PKI_DIGEST_SHA512;

// The digest's name ("SHA256"; OpenSSL and CNG use the same names), or null
// for an unknown number.
const char* DigestName(int nDigestAlgo);

// The DER DigestInfo of PKCS#1 v1.5 for a digest value; false for an unknown
// number or a digest of the wrong length.
bool MakeDigestInfo(int nDigestAlgo, const ByteVector& digest, ByteVector& digestInfo);
