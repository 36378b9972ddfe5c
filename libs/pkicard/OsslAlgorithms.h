#pragma once

#include <cstddef>

#include "libs/pkicard/ByteVector.h"
#include "libs/pkicard/OsslPtr.h"

// The digest for a digest number, or null for an unknown number.
EvpMdPtr FetchDigest(int nDigestAlgo);
// The CBC cipher for a symmetric number, or null for an unknown number.
EvpCipherPtr FetchSymmCipher(int nSymmAlgo);

// Hashes data with the numbered digest. Returns a card library code.
int HashBytes(int nDigestAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest);
