#include "libs/pkicard/PkiVerify.h"

#include <cstring>

#include <openssl/crypto.h>
#include <openssl/rsa.h>

#include "libs/pkicard/OsslPtr.h"
#include "libs/pkicard/OsslAlgorithms.h"
#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/PkiCertificate.h"
#include "libs/pkicard/pkiCard.h"

const char kSm2DistinguishingId[] = "1234567812345678";

namespace {

const unsigned char kEmptyInput = 0;

const unsigned char* NonNull(const unsigned char* p) { return p != nullptr ? p : &kEmptyInput; }

int VerifyRsa(EVP_PKEY* pKey, const unsigned char* pData, size_t nDataLen,
              const unsigned char* pSig, size_t nSigLen) {
  EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr));
  if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) {
    return PKI_ERR_CRYPTO;
  }
  ByteVector recovered(static_cast<size_t>(EVP_PKEY_get_size(pKey)));
  size_t nRecovered = recovered.size();
  if (EVP_PKEY_verify_recover(ctx.get(), recovered.data(), &nRecovered, pSig, nSigLen) != 1) {
    return PKI_ERR_SIGNATURE_INVALID;
  }
  recovered.resize(nRecovered);
  // The DigestInfo names the digest: find the one whose DigestInfo of the
  // data is exactly what was recovered.
  for (int nAlgo = kFirstDigestAlgo; nAlgo <= kLastDigestAlgo; ++nAlgo) {
    ByteVector digest, expected;
    if (HashBytes(nAlgo, pData, nDataLen, digest) != PKI_OK) continue;
    if (!MakeDigestInfo(nAlgo, digest, expected)) continue;
    if (expected.size() == recovered.size() &&
        CRYPTO_memcmp(expected.data(), recovered.data(), expected.size()) == 0) {
      return PKI_OK;
    }
  }
  return PKI_ERR_SIGNATURE_INVALID;
}

int VerifyEcdsa(EVP_PKEY* pKey, const unsigned char* pData, size_t nDataLen,
                const unsigned char* pSig, size_t nSigLen) {
  for (int nAlgo = kFirstDigestAlgo; nAlgo <= kLastDigestAlgo; ++nAlgo) {
    ByteVector digest;
    if (HashBytes(nAlgo, pData, nDataLen, digest) != PKI_OK) continue;
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr));
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1) return PKI_ERR_CRYPTO;
    if (EVP_PKEY_verify(ctx.get(), pSig, nSigLen, digest.data(), digest.size()) == 1) return PKI_OK;
  }
  return PKI_ERR_SIGNATURE_INVALID;
}

int VerifySm2(EVP_PKEY* pKey, const unsigned char* pData, size_t nDataLen,
              const unsigned char* pSig, size_t nSigLen) {
  EvpMdPtr sm3 = FetchDigest(PKI_DIGEST_SM3);
  EvpMdCtxPtr mdCtx(EVP_MD_CTX_new());
  if (!sm3 || !mdCtx) return PKI_ERR_CRYPTO;
  EVP_PKEY_CTX* pPkeyCtx = nullptr;  // owned by mdCtx
  if (EVP_DigestVerifyInit(mdCtx.get(), &pPkeyCtx, sm3.get(), nullptr, pKey) != 1 ||
      EVP_PKEY_CTX_set1_id(pPkeyCtx, kSm2DistinguishingId, std::strlen(kSm2DistinguishingId)) != 1) {
    return PKI_ERR_CRYPTO;
  }
  if (EVP_DigestVerify(mdCtx.get(), pSig, nSigLen, NonNull(pData), nDataLen) != 1) {
    return PKI_ERR_SIGNATURE_INVALID;
  }
  return PKI_OK;
}

}  // namespace

int VerifySignature(EVP_PKEY* pKey, const unsigned char* pData, size_t nDataLen,
                    const unsigned char* pSig, size_t nSigLen) {
  if (pSig == nullptr || nSigLen == 0) return PKI_ERR_SIGNATURE_INVALID;
  int nResult = PKI_ERR_UNSUPPORTED_ALGO;
  if (IsSm2Key(pKey)) {
    nResult = VerifySm2(pKey, pData, nDataLen, pSig, nSigLen);
  } else if (EVP_PKEY_is_a(pKey, "RSA")) {
    nResult = VerifyRsa(pKey, pData, nDataLen, pSig, nSigLen);
  } else if (EVP_PKEY_is_a(pKey, "EC")) {
    nResult = VerifyEcdsa(pKey, pData, nDataLen, pSig, nSigLen);
  }
  return nResult;
}
