#include "libs/pkicard/PkiSymm.h"

#include <climits>

#include <openssl/rand.h>

#include "libs/pkicard/OsslPtr.h"
#include "libs/pkicard/OsslAlgorithms.h"
#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/pkiCard.h"

namespace {

// EVP takes int lengths.
constexpr size_t kMaxInput = static_cast<size_t>(INT_MAX) - 64;

// Sets up the cipher for one direction; checks the key length.
int StartCipher(int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen, const unsigned char* pIv,
                int nEncrypt, EvpCipherCtxPtr& ctx, size_t& nIvLen, size_t& nBlock) {
  EvpCipherPtr cipher = FetchSymmCipher(nSymmAlgo);
  if (!cipher) return PKI_ERR_UNSUPPORTED_ALGO;
  if (pKey == nullptr || nKeyLen != static_cast<size_t>(EVP_CIPHER_get_key_length(cipher.get()))) {
    return PKI_ERR_INVALID_ARG;
  }
  nIvLen = static_cast<size_t>(EVP_CIPHER_get_iv_length(cipher.get()));
  nBlock = static_cast<size_t>(EVP_CIPHER_get_block_size(cipher.get()));
  if (pIv == nullptr) return PKI_OK;  // only the sizes were asked for
  ctx.reset(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex2(ctx.get(), cipher.get(), pKey, pIv, nEncrypt, nullptr) != 1) {
    return PKI_ERR_CRYPTO;
  }
  return PKI_OK;
}

// Appends the whole cipher output of pIn to out.
bool RunCipher(EVP_CIPHER_CTX* pCtx, const unsigned char* pIn, size_t nInLen, size_t nBlock,
               ByteVector& out) {
  static const unsigned char kEmpty = 0;
  const size_t nStart = out.size();
  out.resize(nStart + nInLen + nBlock);
  int nUpdate = 0;
  int nFinal = 0;
  if (EVP_CipherUpdate(pCtx, out.data() + nStart, &nUpdate, pIn != nullptr ? pIn : &kEmpty,
                       static_cast<int>(nInLen)) != 1 ||
      EVP_CipherFinal_ex(pCtx, out.data() + nStart + nUpdate, &nFinal) != 1) {
    return false;
  }
  out.resize(nStart + static_cast<size_t>(nUpdate) + static_cast<size_t>(nFinal));
  return true;
}

}  // namespace

int SymmEncrypt(int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                const unsigned char* pIn, size_t nInLen, ByteVector& out) {
  if (nInLen > kMaxInput) return PKI_ERR_INVALID_ARG;
  EvpCipherCtxPtr ctx;
  size_t nIvLen = 0, nBlock = 0;
  int nResult = StartCipher(nSymmAlgo, pKey, nKeyLen, nullptr, 1, ctx, nIvLen, nBlock);
  if (nResult != PKI_OK) return nResult;
  ByteVector iv(nIvLen);
  if (RAND_bytes(iv.data(), static_cast<int>(iv.size())) != 1) return PKI_ERR_CRYPTO;
  nResult = StartCipher(nSymmAlgo, pKey, nKeyLen, iv.data(), 1, ctx, nIvLen, nBlock);
  if (nResult != PKI_OK) return nResult;
  out = iv;
  if (!RunCipher(ctx.get(), pIn, nInLen, nBlock, out)) return PKI_ERR_CRYPTO;
  return PKI_OK;
}

int SymmDecrypt(int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                const unsigned char* pIn, size_t nInLen, ByteVector& out) {
  if (nInLen > kMaxInput) return PKI_ERR_INVALID_ARG;
  EvpCipherCtxPtr ctx;
  size_t nIvLen = 0, nBlock = 0;
  int nResult = StartCipher(nSymmAlgo, pKey, nKeyLen, nullptr, 0, ctx, nIvLen, nBlock);
  if (nResult != PKI_OK) return nResult;
  // IV, then at least one whole block of cipher text.
  if (pIn == nullptr || nInLen < nIvLen + nBlock || (nInLen - nIvLen) % nBlock != 0) {
    return PKI_ERR_DECRYPT;
  }
  nResult = StartCipher(nSymmAlgo, pKey, nKeyLen, pIn, 0, ctx, nIvLen, nBlock);
  if (nResult != PKI_OK) return nResult;
  out.clear();
  if (!RunCipher(ctx.get(), pIn + nIvLen, nInLen - nIvLen, nBlock, out)) return PKI_ERR_DECRYPT;
  return PKI_OK;
}
