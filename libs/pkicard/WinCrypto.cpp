#include "libs/pkicard/WinCrypto.h"

#include <gcrypt.h>

#include <mutex>

#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/pkiCard.h"

namespace {

// libgcrypt wants its version check before the first use.
void StartGcrypt() {
  static std::once_flag s_once;
  std::call_once(s_once, [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

}  // namespace

const wchar_t* CngDigestName(int nDigestAlgo) {
  switch (nDigestAlgo) {
    case PKI_DIGEST_SHA1: return BCRYPT_SHA1_ALGORITHM;
    case PKI_DIGEST_SHA256: return BCRYPT_SHA256_ALGORITHM;
    case PKI_DIGEST_SHA384: return BCRYPT_SHA384_ALGORITHM;
    case PKI_DIGEST_SHA512: return BCRYPT_SHA512_ALGORITHM;
    default: return nullptr;
  }
}

namespace {

int GcryptHash(int nAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest) {
  StartGcrypt();
  digest.resize(gcry_md_get_algo_dlen(nAlgo));
  if (digest.empty()) return PKI_ERR_UNSUPPORTED_ALGO;
  gcry_md_hash_buffer(nAlgo, digest.data(), pData, nLen);
  return PKI_OK;
}

int GcryptSm4(bool bEncrypt, const unsigned char* pKey, const unsigned char* pIv,
              const unsigned char* pIn, size_t nInLen, ByteVector& out) {
  StartGcrypt();
  gcry_cipher_hd_t hCipher = nullptr;
  if (gcry_cipher_open(&hCipher, GCRY_CIPHER_SM4, GCRY_CIPHER_MODE_CBC, 0) != 0) {
    return PKI_ERR_UNSUPPORTED_ALGO;
  }
  std::unique_ptr<gcry_cipher_handle, void (*)(gcry_cipher_hd_t)> guard(hCipher, gcry_cipher_close);
  const size_t kBlock = 16;
  if (gcry_cipher_setkey(hCipher, pKey, kBlock) != 0 || gcry_cipher_setiv(hCipher, pIv, kBlock) != 0) {
    return PKI_ERR_CRYPTO;
  }
  if (bEncrypt) {
    ByteVector padded(pIn, pIn + nInLen);
    const size_t nPad = kBlock - nInLen % kBlock;
    padded.insert(padded.end(), nPad, static_cast<unsigned char>(nPad));
    out.resize(padded.size());
    if (gcry_cipher_encrypt(hCipher, out.data(), out.size(), padded.data(), padded.size()) != 0) {
      return PKI_ERR_CRYPTO;
    }
    return PKI_OK;
  }
  out.resize(nInLen);
  if (gcry_cipher_decrypt(hCipher, out.data(), out.size(), pIn, nInLen) != 0) return PKI_ERR_DECRYPT;
  const size_t nPad = out.empty() ? 0 : out.back();
  if (nPad == 0 || nPad > kBlock || nPad > out.size()) return PKI_ERR_DECRYPT;
  for (size_t i = out.size() - nPad; i < out.size(); ++i) {
    if (out[i] != nPad) return PKI_ERR_DECRYPT;
  }
  out.resize(out.size() - nPad);
  return PKI_OK;
}

}  // namespace

int PkiCodeFromStatus(NTSTATUS nStatus) {
  if (nStatus >= 0) return PKI_OK;
  switch (static_cast<uint32_t>(nStatus)) {
    case 0xC000A000u:  // STATUS_INVALID_SIGNATURE
      return PKI_ERR_SIGNATURE_INVALID;
    case 0xC000003Eu:  // STATUS_DATA_ERROR
    case 0xC0000206u:  // STATUS_INVALID_BUFFER_SIZE
      return PKI_ERR_DECRYPT;
    case 0xC00000BBu:  // STATUS_NOT_SUPPORTED
    case 0xC0000225u:  // STATUS_NOT_FOUND (algorithm provider)
      return PKI_ERR_UNSUPPORTED_ALGO;
    case 0xC000000Du:  // STATUS_INVALID_PARAMETER
      return PKI_ERR_INVALID_ARG;
    default:
      return PKI_ERR_CRYPTO;
  }
}

int PkiCodeFromWinError(DWORD nError) {
  switch (nError) {
    case ERROR_SUCCESS:
      return PKI_OK;
    case static_cast<DWORD>(SCARD_W_WRONG_CHV):
    case static_cast<DWORD>(SCARD_E_INVALID_CHV):
    case ERROR_INVALID_PASSWORD:
      return PKI_ERR_PIN_INCORRECT;
    case static_cast<DWORD>(SCARD_W_CHV_BLOCKED):
    case static_cast<DWORD>(SCARD_W_CARD_NOT_AUTHENTICATED):
      return PKI_ERR_PIN_LOCKED;
    case static_cast<DWORD>(SCARD_W_REMOVED_CARD):
    case static_cast<DWORD>(SCARD_E_NO_SMARTCARD):
    case static_cast<DWORD>(SCARD_E_NO_READERS_AVAILABLE):
      return PKI_ERR_TOKEN_REMOVED;
    case static_cast<DWORD>(NTE_BAD_KEYSET):
    case static_cast<DWORD>(NTE_NO_KEY):
    case static_cast<DWORD>(CRYPT_E_NO_KEY_PROPERTY):
      return PKI_ERR_KEY_NOT_FOUND;
    case static_cast<DWORD>(NTE_BAD_ALGID):
    case static_cast<DWORD>(NTE_NOT_SUPPORTED):
    case static_cast<DWORD>(NTE_BAD_KEY_STATE):
      return PKI_ERR_UNSUPPORTED_ALGO;
    case static_cast<DWORD>(NTE_BAD_DATA):
    case static_cast<DWORD>(NTE_BAD_LEN):
      return PKI_ERR_DECRYPT;
    case static_cast<DWORD>(NTE_BAD_SIGNATURE):
      return PKI_ERR_SIGNATURE_INVALID;
    default:
      return PKI_ERR_TOKEN_FAILURE;
  }
}

std::wstring WideFromAnsi(const char* szText) {
  const int nChars = ::MultiByteToWideChar(CP_ACP, 0, szText, -1, nullptr, 0);
  if (nChars <= 1) return std::wstring();
  std::wstring strWide(static_cast<size_t>(nChars), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, szText, -1, &strWide[0], nChars);
  strWide.resize(static_cast<size_t>(nChars - 1));
  return strWide;
}

std::string Utf8FromWide(const wchar_t* pText, size_t nLen) {
  if (nLen == 0) return std::string();
  const int nBytes = ::WideCharToMultiByte(CP_UTF8, 0, pText, static_cast<int>(nLen), nullptr, 0, nullptr, nullptr);
  if (nBytes <= 0) return std::string();
  std::string strText(static_cast<size_t>(nBytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, pText, static_cast<int>(nLen), &strText[0], nBytes, nullptr, nullptr);
  return strText;
}

int WinHash(int nDigestAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest) {
  if (nDigestAlgo == PKI_DIGEST_SM3) return GcryptHash(GCRY_MD_SM3, pData, nLen, digest);
  const wchar_t* szAlgo = CngDigestName(nDigestAlgo);
  if (szAlgo == nullptr) return PKI_ERR_UNSUPPORTED_ALGO;
  if (nLen > ULONG_MAX) return PKI_ERR_INVALID_ARG;
  AlgHandle hAlg;
  NTSTATUS nStatus = ::BCryptOpenAlgorithmProvider(hAlg.Out(), szAlgo, nullptr, 0);
  if (nStatus < 0) return PkiCodeFromStatus(nStatus);
  DWORD nDigest = 0;
  ULONG nGot = 0;
  nStatus = ::BCryptGetProperty(hAlg.Get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&nDigest),
                                sizeof nDigest, &nGot, 0);
  if (nStatus < 0) return PkiCodeFromStatus(nStatus);
  BHashHandle hHash;
  nStatus = ::BCryptCreateHash(hAlg.Get(), hHash.Out(), nullptr, 0, nullptr, 0, 0);
  if (nStatus < 0) return PkiCodeFromStatus(nStatus);
  static unsigned char s_empty = 0;
  nStatus = ::BCryptHashData(hHash.Get(), pData != nullptr ? const_cast<PUCHAR>(pData) : &s_empty,
                             static_cast<ULONG>(nLen), 0);
  if (nStatus < 0) return PkiCodeFromStatus(nStatus);
  digest.resize(nDigest);
  return PkiCodeFromStatus(::BCryptFinishHash(hHash.Get(), digest.data(), nDigest, 0));
}

int WinRandom(unsigned char* pOut, size_t nCount) {
  if (nCount > ULONG_MAX) return PKI_ERR_INVALID_ARG;
  return PkiCodeFromStatus(::BCryptGenRandom(nullptr, pOut, static_cast<ULONG>(nCount),
                                             BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

bool SymmSizes(int nSymmAlgo, size_t& nKeyLen, size_t& nIvLen) {
  switch (nSymmAlgo) {
    case PKI_SYMM_AES128: nKeyLen = 16; nIvLen = 16; return true;
    case PKI_SYMM_AES256: nKeyLen = 32; nIvLen = 16; return true;
    case PKI_SYMM_SM4: nKeyLen = 16; nIvLen = 16; return true;
    case PKI_SYMM_3DES: nKeyLen = 24; nIvLen = 8; return true;
    default: return false;
  }
}

int WinSymmCrypt(bool bEncrypt, int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                 const unsigned char* pIn, size_t nInLen, ByteVector& out) {
  size_t nWantKey = 0, nBlock = 0;
  if (!SymmSizes(nSymmAlgo, nWantKey, nBlock)) return PKI_ERR_UNSUPPORTED_ALGO;
  if (pKey == nullptr || nKeyLen != nWantKey) return PKI_ERR_INVALID_ARG;
  if (nInLen > ULONG_MAX - 64) return PKI_ERR_INVALID_ARG;
  ByteVector iv(nBlock);
  if (bEncrypt) {
    const int nRandom = WinRandom(iv.data(), iv.size());
    if (nRandom != PKI_OK) return nRandom;
  } else {
    // IV, then at least one whole block of cipher text.
    if (pIn == nullptr || nInLen < 2 * nBlock || nInLen % nBlock != 0) return PKI_ERR_DECRYPT;
    iv.assign(pIn, pIn + nBlock);
    pIn += nBlock;
    nInLen -= nBlock;
  }
  static unsigned char s_empty = 0;
  if (pIn == nullptr) pIn = &s_empty;

  ByteVector body;
  if (nSymmAlgo == PKI_SYMM_SM4) {
    const int nResult = GcryptSm4(bEncrypt, pKey, iv.data(), pIn, nInLen, body);
    if (nResult != PKI_OK) return nResult;
  } else {
    AlgHandle hAlg;
    const wchar_t* szAlgo = nSymmAlgo == PKI_SYMM_3DES ? BCRYPT_3DES_ALGORITHM : BCRYPT_AES_ALGORITHM;
    NTSTATUS nStatus = ::BCryptOpenAlgorithmProvider(hAlg.Out(), szAlgo, nullptr, 0);
    if (nStatus < 0) return PkiCodeFromStatus(nStatus);
    nStatus = ::BCryptSetProperty(hAlg.Get(), BCRYPT_CHAINING_MODE,
                                  reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                                  sizeof BCRYPT_CHAIN_MODE_CBC, 0);
    if (nStatus < 0) return PkiCodeFromStatus(nStatus);
    BKeyHandle hKey;
    nStatus = ::BCryptGenerateSymmetricKey(hAlg.Get(), hKey.Out(), nullptr, 0, const_cast<PUCHAR>(pKey),
                                           static_cast<ULONG>(nKeyLen), 0);
    if (nStatus < 0) return PkiCodeFromStatus(nStatus);
    ByteVector ivWork = iv;  // the call advances the IV it is given
    body.resize(nInLen + nBlock);
    ULONG nOut = 0;
    nStatus = bEncrypt
                  ? ::BCryptEncrypt(hKey.Get(), const_cast<PUCHAR>(pIn), static_cast<ULONG>(nInLen), nullptr,
                                    ivWork.data(), static_cast<ULONG>(ivWork.size()), body.data(),
                                    static_cast<ULONG>(body.size()), &nOut, BCRYPT_BLOCK_PADDING)
                  : ::BCryptDecrypt(hKey.Get(), const_cast<PUCHAR>(pIn), static_cast<ULONG>(nInLen), nullptr,
                                    ivWork.data(), static_cast<ULONG>(ivWork.size()), body.data(),
                                    static_cast<ULONG>(body.size()), &nOut, BCRYPT_BLOCK_PADDING);
    if (nStatus < 0) {
      const int nCode = PkiCodeFromStatus(nStatus);
      return bEncrypt || nCode == PKI_ERR_UNSUPPORTED_ALGO ? nCode : PKI_ERR_DECRYPT;
    }
    body.resize(nOut);
  }
  if (bEncrypt) {
    out = iv;
    out.insert(out.end(), body.begin(), body.end());
  } else {
    out.swap(body);
  }
  return PKI_OK;
}
