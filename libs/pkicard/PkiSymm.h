#pragma once

#include <cstddef>

#include "libs/pkicard/ByteVector.h"

// CBC with PKCS#7 padding. Encrypting writes a fresh random IV in front of the
// cipher text; decrypting takes the IV from the front. The key must have the
// cipher's exact length. Returns a card library code.
int SymmEncrypt(int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                const unsigned char* pIn, size_t nInLen, ByteVector& out);
int SymmDecrypt(int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                const unsigned char* pIn, size_t nInLen, ByteVector& out);
