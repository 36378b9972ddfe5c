#include "libs/pkicard/OsslAlgorithms.h"

#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/pkiCard.h"

EvpMdPtr FetchDigest(int nDigestAlgo) {
  const char* szName = DigestName(nDigestAlgo);
  if (szName == nullptr) return EvpMdPtr();
  return EvpMdPtr(EVP_MD_fetch(nullptr, szName, nullptr));
}

EvpCipherPtr FetchSymmCipher(int nSymmAlgo) {
  const char* szName = nullptr;
  switch (nSymmAlgo) {
    case PKI_SYMM_AES128: szName = "AES-128-CBC"; break;
    case PKI_SYMM_AES256: szName = "AES-256-CBC"; break;
    case PKI_SYMM_SM4: szName = "SM4-CBC"; break;
    case PKI_SYMM_3DES: szName = "DES-EDE3-CBC"; break;
    default: return EvpCipherPtr();
  }
  return EvpCipherPtr(EVP_CIPHER_fetch(nullptr, szName, nullptr));
}

int HashBytes(int nDigestAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest) {
  EvpMdPtr md = FetchDigest(nDigestAlgo);
  if (!md) return PKI_ERR_UNSUPPORTED_ALGO;
  digest.resize(EVP_MAX_MD_SIZE);
  unsigned int nOut = 0;
  static const unsigned char kEmpty = 0;
  if (EVP_Digest(pData != nullptr ? pData : &kEmpty, nLen, digest.data(), &nOut, md.get(), nullptr) != 1) {
    return PKI_ERR_CRYPTO;
  }
  digest.resize(nOut);
  return PKI_OK;
}
