#include "libs/pkicard/WinKeyStore.h"

#include <algorithm>
#include <string>
#include <vector>

#include "libs/pkicard/EnvelopeDer.h"
#include "libs/pkicard/PkiAlgorithms.h"
#include "libs/pkicard/WinCertificate.h"
#include "libs/pkicard/pkiCard.h"

namespace {

// The private key behind a certificate, for one call. Either an NCrypt key
// or a CSP handle with its key purpose (AT_SIGNATURE or AT_KEYEXCHANGE).
class CCertKey {
 public:
  CCertKey() = default;
  ~CCertKey() {
    SecureZeroMemory(&m_strPin[0], m_strPin.size());
    if (!m_bCallerFrees) {  // owned by the certificate context: not ours to free
      m_hKey.Release();
      m_hProv.Release();
    }
  }
  CCertKey(const CCertKey&) = delete;
  CCertKey& operator=(const CCertKey&) = delete;

  int Open(PCCERT_CONTEXT pCert, const char* szPin) {
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE hKey = 0;
    BOOL bFree = FALSE;
    if (!::CryptAcquireCertificatePrivateKey(pCert, CRYPT_ACQUIRE_PREFER_NCRYPT_KEY_FLAG | CRYPT_ACQUIRE_SILENT_FLAG,
                                             nullptr, &hKey, &m_dwKeyPurpose, &bFree)) {
      const int nCode = PkiCodeFromWinError(::GetLastError());
      return nCode == PKI_ERR_TOKEN_FAILURE ? PKI_ERR_KEY_NOT_FOUND : nCode;
    }
    m_bCallerFrees = bFree != FALSE;
    if (m_dwKeyPurpose == CERT_NCRYPT_KEY_SPEC) {
      m_hKey.Reset(hKey);
    } else {
      m_hProv.Reset(hKey);
      m_pCert = pCert;
      NormaliseKeyPurpose();
    }
    m_strPin = szPin;
    return SetPin();
  }

  // A CSP handle that knows the newer digests (SHA-2): the same key
  // container through the AES provider, when the container's own provider
  // (the legacy "Enhanced" one, as imports often name) does not.
  int UpgradeToAesProvider() {
    DWORD nSize = 0;
    if (!::CertGetCertificateContextProperty(m_pCert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nSize)) {
      return PkiCodeFromWinError(::GetLastError());
    }
    std::vector<BYTE> buffer(nSize);
    if (!::CertGetCertificateContextProperty(m_pCert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &nSize)) {
      return PkiCodeFromWinError(::GetLastError());
    }
    const auto* pInfo = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
    HCRYPTPROV hProv = 0;
    if (!::CryptAcquireContextW(&hProv, pInfo->pwszContainerName, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                (pInfo->dwFlags & CRYPT_MACHINE_KEYSET) | CRYPT_SILENT)) {
      return PkiCodeFromWinError(::GetLastError());
    }
    if (!m_bCallerFrees) m_hProv.Release();
    m_hProv.Reset(hProv);
    m_bCallerFrees = true;
    return SetPin();
  }

  bool IsCng() const { return static_cast<bool>(m_hKey); }
  NCRYPT_KEY_HANDLE Key() const { return m_hKey.Get(); }
  HCRYPTPROV Prov() const { return m_hProv.Get(); }
  DWORD KeyPurpose() const { return m_dwKeyPurpose; }

 private:
  // The PIN goes to this key handle for this call. Only a PIN the key store
  // refuses fails the call; a store that takes no PIN this way (software
  // keys) is used as it is: a key that needs a PIN still refuses to work
  // without it, as the handle is silent.
  int SetPin() {
    if (m_strPin.empty()) return PKI_OK;
    int nCode = PKI_OK;
    if (IsCng()) {
      std::wstring strPin = WideFromAnsi(m_strPin.c_str());
      const SECURITY_STATUS nStatus =
          ::NCryptSetProperty(m_hKey.Get(), NCRYPT_PIN_PROPERTY, reinterpret_cast<PBYTE>(&strPin[0]),
                              static_cast<DWORD>((strPin.size() + 1) * sizeof(wchar_t)), 0);
      SecureZeroMemory(&strPin[0], strPin.size() * sizeof(wchar_t));
      nCode = PkiCodeFromWinError(static_cast<DWORD>(nStatus));
    } else {
      const DWORD nParam = m_dwKeyPurpose == AT_SIGNATURE ? PP_SIGNATURE_PIN : PP_KEYEXCHANGE_PIN;
      if (!::CryptSetProvParam(m_hProv.Get(), nParam, reinterpret_cast<const BYTE*>(m_strPin.c_str()), 0)) {
        nCode = PkiCodeFromWinError(::GetLastError());
      }
    }
    return nCode == PKI_ERR_PIN_INCORRECT || nCode == PKI_ERR_PIN_LOCKED ? nCode : PKI_OK;
  }

  // The key purpose of a CSP key: signature or exchange key, whichever the
  // container holds when the certificate names neither.
  void NormaliseKeyPurpose() {
    if (m_dwKeyPurpose == AT_SIGNATURE || m_dwKeyPurpose == AT_KEYEXCHANGE) return;
    HCRYPTKEY hKey = 0;
    if (::CryptGetUserKey(m_hProv.Get(), AT_SIGNATURE, &hKey)) {
      ::CryptDestroyKey(hKey);
      m_dwKeyPurpose = AT_SIGNATURE;
    } else {
      m_dwKeyPurpose = AT_KEYEXCHANGE;
    }
  }

  NKeyHandle m_hKey;
  ProvHandle m_hProv;
  PCCERT_CONTEXT m_pCert = nullptr;
  std::string m_strPin;
  DWORD m_dwKeyPurpose = 0;
  bool m_bCallerFrees = false;
};

ALG_ID CapiDigest(int nDigestAlgo) {
  switch (nDigestAlgo) {
    case PKI_DIGEST_SHA1: return CALG_SHA1;
    case PKI_DIGEST_SHA256: return CALG_SHA_256;
    case PKI_DIGEST_SHA384: return CALG_SHA_384;
    case PKI_DIGEST_SHA512: return CALG_SHA_512;
    default: return 0;
  }
}

// The two passes of an NCrypt call with variable-length output.
template <typename Call>
int NCryptSized(ByteVector& out, Call call) {
  DWORD nLen = 0;
  SECURITY_STATUS nStatus = call(nullptr, 0, &nLen);
  if (nStatus != ERROR_SUCCESS) return PkiCodeFromWinError(static_cast<DWORD>(nStatus));
  out.resize(nLen);
  nStatus = call(out.data(), nLen, &nLen);
  if (nStatus != ERROR_SUCCESS) return PkiCodeFromWinError(static_cast<DWORD>(nStatus));
  out.resize(nLen);
  return PKI_OK;
}

int CapiSign(CCertKey& key, int nDigestAlgo, const ByteVector& digest, ByteVector& signature) {
  const ALG_ID nAlg = CapiDigest(nDigestAlgo);
  if (nAlg == 0) return PKI_ERR_UNSUPPORTED_ALGO;  // SM3 has no CryptoAPI hash
  CapiHashHandle hHash;
  if (!::CryptCreateHash(key.Prov(), nAlg, 0, 0, hHash.Out())) {
    if (::GetLastError() != static_cast<DWORD>(NTE_BAD_ALGID)) return PkiCodeFromWinError(::GetLastError());
    const int nUpgrade = key.UpgradeToAesProvider();
    if (nUpgrade != PKI_OK) return nUpgrade == PKI_ERR_TOKEN_FAILURE ? PKI_ERR_UNSUPPORTED_ALGO : nUpgrade;
    if (!::CryptCreateHash(key.Prov(), nAlg, 0, 0, hHash.Out())) return PkiCodeFromWinError(::GetLastError());
  }
  if (!::CryptSetHashParam(hHash.Get(), HP_HASHVAL, digest.data(), 0)) {
    return PkiCodeFromWinError(::GetLastError());
  }
  DWORD nLen = 0;
  if (!::CryptSignHashW(hHash.Get(), key.KeyPurpose(), nullptr, 0, nullptr, &nLen)) {
    return PkiCodeFromWinError(::GetLastError());
  }
  signature.resize(nLen);
  if (!::CryptSignHashW(hHash.Get(), key.KeyPurpose(), nullptr, 0, signature.data(), &nLen)) {
    return PkiCodeFromWinError(::GetLastError());
  }
  signature.resize(nLen);
  std::reverse(signature.begin(), signature.end());  // CryptoAPI writes little-endian
  return PKI_OK;
}

}  // namespace

int FindMyCertificate(const char* szLabel, CertHandle& cert) {
  const std::wstring strLabel = WideFromAnsi(szLabel);
  if (strLabel.empty()) return PKI_ERR_OBJECT_NOT_FOUND;
  StoreHandle hStore(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG |
                                         CERT_STORE_OPEN_EXISTING_FLAG,
                                     L"MY"));
  if (!hStore) return PKI_ERR_OBJECT_NOT_FOUND;
  for (int nPass = 0; nPass < 2; ++nPass) {
    PCCERT_CONTEXT pCert = nullptr;
    while ((pCert = ::CertEnumCertificatesInStore(hStore.Get(), pCert)) != nullptr) {
      std::vector<wchar_t> name(1024, L'\0');
      bool bMatch = false;
      if (nPass == 0) {
        DWORD nSize = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        bMatch = ::CertGetCertificateContextProperty(pCert, CERT_FRIENDLY_NAME_PROP_ID, name.data(), &nSize) &&
                 strLabel == name.data();
      } else {
        const DWORD nChars = ::CertGetNameStringW(pCert, CERT_NAME_ATTR_TYPE, 0,
                                                  const_cast<char*>(szOID_COMMON_NAME), name.data(),
                                                  static_cast<DWORD>(name.size()));
        bMatch = nChars > 1 && strLabel == name.data();
      }
      if (bMatch) {
        cert.Reset(::CertDuplicateCertificateContext(pCert));
        ::CertFreeCertificateContext(pCert);
        return PKI_OK;
      }
    }
  }
  return PKI_ERR_OBJECT_NOT_FOUND;
}

int WinSignDigest(PCCERT_CONTEXT pCert, const char* szPin, int nDigestAlgo, const ByteVector& digest,
                  ByteVector& signature) {
  const emWinKeyKind nKind = WinKeyKind(pCert);
  if (nKind != WIN_KEY_RSA && nKind != WIN_KEY_EC) return PKI_ERR_UNSUPPORTED_ALGO;
  CCertKey key;
  int nResult = key.Open(pCert, szPin);
  if (nResult != PKI_OK) return nResult;
  if (!key.IsCng()) {
    if (nKind != WIN_KEY_RSA) return PKI_ERR_UNSUPPORTED_ALGO;
    return CapiSign(key, nDigestAlgo, digest, signature);
  }
  if (nKind == WIN_KEY_RSA) {
    ByteVector digestInfo;
    if (!MakeDigestInfo(nDigestAlgo, digest, digestInfo)) return PKI_ERR_UNSUPPORTED_ALGO;
    BCRYPT_PKCS1_PADDING_INFO pad{nullptr};  // the DigestInfo is ours, for SM3 too
    return NCryptSized(signature, [&](PBYTE p, DWORD n, DWORD* pnLen) {
      return ::NCryptSignHash(key.Key(), &pad, digestInfo.data(), static_cast<DWORD>(digestInfo.size()), p, n,
                              pnLen, BCRYPT_PAD_PKCS1);
    });
  }
  ByteVector raw;
  nResult = NCryptSized(raw, [&](PBYTE p, DWORD n, DWORD* pnLen) {
    return ::NCryptSignHash(key.Key(), nullptr, const_cast<PBYTE>(digest.data()), static_cast<DWORD>(digest.size()),
                            p, n, pnLen, 0);
  });
  if (nResult != PKI_OK) return nResult;
  return EcdsaRawToDer(raw.data(), raw.size(), signature) ? PKI_OK : PKI_ERR_TOKEN_FAILURE;
}

int WinDecryptKey(PCCERT_CONTEXT pCert, const char* szPin, const ByteVector& encrypted, ByteVector& plain) {
  if (WinKeyKind(pCert) != WIN_KEY_RSA) return PKI_ERR_UNSUPPORTED_ALGO;
  CCertKey key;
  const int nResult = key.Open(pCert, szPin);
  if (nResult != PKI_OK) return nResult;
  if (key.IsCng()) {
    const int nDecrypt = NCryptSized(plain, [&](PBYTE p, DWORD n, DWORD* pnLen) {
      return ::NCryptDecrypt(key.Key(), const_cast<PBYTE>(encrypted.data()), static_cast<DWORD>(encrypted.size()),
                             nullptr, p, n, pnLen, NCRYPT_PAD_PKCS1_FLAG);
    });
    return nDecrypt == PKI_ERR_TOKEN_FAILURE ? PKI_ERR_DECRYPT : nDecrypt;
  }
  CapiKeyHandle hKey;
  if (!::CryptGetUserKey(key.Prov(), key.KeyPurpose(), hKey.Out())) return PkiCodeFromWinError(::GetLastError());
  ByteVector buffer(encrypted.rbegin(), encrypted.rend());  // CryptoAPI reads little-endian
  DWORD nLen = static_cast<DWORD>(buffer.size());
  if (!::CryptDecrypt(hKey.Get(), 0, TRUE, 0, buffer.data(), &nLen)) {
    const int nCode = PkiCodeFromWinError(::GetLastError());
    return nCode == PKI_ERR_TOKEN_FAILURE ? PKI_ERR_DECRYPT : nCode;
  }
  buffer.resize(nLen);
  plain.swap(buffer);
  return PKI_OK;
}
