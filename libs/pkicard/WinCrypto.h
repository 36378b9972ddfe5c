#pragma once

// The Windows backend's use of CNG (bcrypt), NCrypt and CryptoAPI: owning
// handles, the one mapping from their results to card library codes, and the
// public algorithms (hash, symmetric ciphers, random bytes). SM3 and SM4,
// which Windows lacks, come from libgcrypt.

#include <windows.h>

#include <bcrypt.h>
#include <ncrypt.h>
#include <wincrypt.h>

#include <memory>
#include <string>

#include "libs/pkicard/ByteVector.h"

// An owned handle of an integer or pointer type with its release function.
template <typename T, void (*ReleaseFn)(T)>
class CWinHandle {
 public:
  CWinHandle() = default;
  explicit CWinHandle(T h) : m_h(h) {}
  ~CWinHandle() { Reset(); }
  CWinHandle(const CWinHandle&) = delete;
  CWinHandle& operator=(const CWinHandle&) = delete;
  void Reset(T h = T()) {
    if (m_h != T()) ReleaseFn(m_h);
    m_h = h;
  }
  T Get() const { return m_h; }
  T* Out() {
    Reset();
    return &m_h;
  }
  T Release() {
    const T h = m_h;
    m_h = T();
    return h;
  }
  explicit operator bool() const { return m_h != T(); }

 private:
  T m_h = T();
};

inline void FreeAlg(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
inline void FreeBKey(BCRYPT_KEY_HANDLE h) { ::BCryptDestroyKey(h); }
inline void FreeBHash(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
inline void FreeNObject(NCRYPT_HANDLE h) { ::NCryptFreeObject(h); }
inline void FreeProv(HCRYPTPROV h) { ::CryptReleaseContext(h, 0); }
inline void FreeCapiHash(HCRYPTHASH h) { ::CryptDestroyHash(h); }
inline void FreeCapiKey(HCRYPTKEY h) { ::CryptDestroyKey(h); }
inline void FreeStore(HCERTSTORE h) { ::CertCloseStore(h, 0); }
inline void FreeCert(PCCERT_CONTEXT p) { ::CertFreeCertificateContext(p); }
inline void FreeChain(PCCERT_CHAIN_CONTEXT p) { ::CertFreeCertificateChain(p); }
inline void FreeChainEngine(HCERTCHAINENGINE h) { ::CertFreeCertificateChainEngine(h); }

using AlgHandle = CWinHandle<BCRYPT_ALG_HANDLE, FreeAlg>;
using BKeyHandle = CWinHandle<BCRYPT_KEY_HANDLE, FreeBKey>;
using BHashHandle = CWinHandle<BCRYPT_HASH_HANDLE, FreeBHash>;
using NKeyHandle = CWinHandle<NCRYPT_HANDLE, FreeNObject>;
using ProvHandle = CWinHandle<HCRYPTPROV, FreeProv>;
using CapiHashHandle = CWinHandle<HCRYPTHASH, FreeCapiHash>;
using CapiKeyHandle = CWinHandle<HCRYPTKEY, FreeCapiKey>;
using StoreHandle = CWinHandle<HCERTSTORE, FreeStore>;
using CertHandle = CWinHandle<PCCERT_CONTEXT, FreeCert>;
using ChainHandle = CWinHandle<PCCERT_CHAIN_CONTEXT, FreeChain>;
using ChainEngineHandle = CWinHandle<HCERTCHAINENGINE, FreeChainEngine>;

// The card library code for a CNG status (NTSTATUS) or for an NCrypt /
// CryptoAPI / smart card result (SECURITY_STATUS, GetLastError()).
int PkiCodeFromStatus(NTSTATUS nStatus);
int PkiCodeFromWinError(DWORD nError);

// Text conversions between the system code page (the library's byte
// strings), UTF-16 and UTF-8.
std::wstring WideFromAnsi(const char* szText);
std::string Utf8FromWide(const wchar_t* pText, size_t nLen);

// CNG's name of a digest (SM3 has none: null).
const wchar_t* CngDigestName(int nDigestAlgo);

int WinHash(int nDigestAlgo, const unsigned char* pData, size_t nLen, ByteVector& digest);
int WinRandom(unsigned char* pOut, size_t nCount);
// CBC with PKCS#7 padding; the IV is given (decrypting) or made and put in
// front of the output (encrypting) as on every platform.
int WinSymmCrypt(bool bEncrypt, int nSymmAlgo, const unsigned char* pKey, size_t nKeyLen,
                 const unsigned char* pIn, size_t nInLen, ByteVector& out);
// Symmetric key and IV lengths of a symmetric algorithm number; false when unknown.
bool SymmSizes(int nSymmAlgo, size_t& nKeyLen, size_t& nIvLen);
