#pragma once

// Windows only. A PFX imported into the current user's "MY" store under a friendly name, taken
// out again with its key container by Remove() or the destructor. Each change is committed at
// once: Wine keeps a registry store's changes in memory until then.

#include <windows.h>

#include <wincrypt.h>

#include <memory>
#include <string>

class CMyStorePfx {
 public:
  CMyStorePfx() = default;
  ~CMyStorePfx() { Remove(); }
  CMyStorePfx(const CMyStorePfx&) = delete;
  CMyStorePfx& operator=(const CMyStorePfx&) = delete;

  // Imports the PFX bytes (one certificate and its key) and adds the certificate to "MY" named
  // szFriendlyName (once per object). "" on success, else what failed.
  std::string Import(const std::string& strPfx, const wchar_t* szPassword,
                     const wchar_t* szFriendlyName) {
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(strPfx.size()),
                         reinterpret_cast<BYTE*>(const_cast<char*>(strPfx.data()))};
    const CStore pfx(PFXImportCertStore(&blob, szPassword, CRYPT_USER_KEYSET));
    if (!pfx) return Failed("PFXImportCertStore");
    const CStore my(OpenMy());
    if (!my) return Failed("CertOpenStore(MY)");
    const std::unique_ptr<const CERT_CONTEXT, decltype(&CertFreeCertificateContext)> cert(
        CertEnumCertificatesInStore(pfx.get(), nullptr), CertFreeCertificateContext);
    if (!cert) return "the PFX brought no certificate";
    const std::wstring strName(szFriendlyName);
    const CRYPT_DATA_BLOB name{static_cast<DWORD>((strName.size() + 1) * sizeof(wchar_t)),
                               reinterpret_cast<BYTE*>(const_cast<wchar_t*>(strName.c_str()))};
    CertSetCertificateContextProperty(cert.get(), CERT_FRIENDLY_NAME_PROP_ID, 0, &name);
    if (!CertAddCertificateContextToStore(my.get(), cert.get(), CERT_STORE_ADD_REPLACE_EXISTING,
                                          &m_pCert)) {
      return Failed("CertAddCertificateContextToStore");
    }
    const bool bCommitted = CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
    return bCommitted ? "" : Failed("CertControlStore(commit)");
  }

  // The certificate as added to "MY"; null before Import and after Remove.
  PCCERT_CONTEXT Cert() const { return m_pCert; }

  // Takes the certificate out of "MY" and deletes its key container. True
  // when the store no longer holds it (also when nothing was imported).
  bool Remove() {
    if (m_pCert == nullptr) return true;
    // The property: the structure, then the names it points to.
    alignas(CRYPT_KEY_PROV_INFO) BYTE info[4096];
    DWORD nSize = sizeof(info);
    if (CertGetCertificateContextProperty(m_pCert, CERT_KEY_PROV_INFO_PROP_ID, info, &nSize)) {
      const auto* pInfo = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(info);
      HCRYPTPROV hProv = 0;
      CryptAcquireContextW(&hProv, pInfo->pwszContainerName, pInfo->pwszProvName,
                           pInfo->dwProvType, CRYPT_DELETEKEYSET);
    }
    bool bGone = false;
    const CStore my(OpenMy());
    if (my) {
      PCCERT_CONTEXT pFound = CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0,
                                                         CERT_FIND_EXISTING, m_pCert, nullptr);
      // CertDeleteCertificateFromStore frees the context it is given.
      bGone = pFound == nullptr || CertDeleteCertificateFromStore(pFound);
      bGone = CertControlStore(my.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr) && bGone;
    }
    CertFreeCertificateContext(m_pCert);
    m_pCert = nullptr;
    return bGone;
  }

 private:
  struct CStoreCloser {
    void operator()(void* hStore) const { CertCloseStore(hStore, 0); }
  };
  using CStore = std::unique_ptr<void, CStoreCloser>;

  static HCERTSTORE OpenMy() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
  }
  static std::string Failed(const char* szCall) {
    return szCall + (": " + std::to_string(GetLastError()));
  }

  PCCERT_CONTEXT m_pCert = nullptr;
};
