#pragma once

// Windows only. A PFX imported into the current user's "MY" store under a friendly name, taken
// out again with its key container by Remove() or the destructor. Each change is committed at
// once: Wine keeps a registry store's changes in memory until then.

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <vector>

class CMyStorePfx {
 public:
  CMyStorePfx() = default;
  ~CMyStorePfx() { Remove(); }
  CMyStorePfx(const CMyStorePfx&) = delete;
  CMyStorePfx& operator=(const CMyStorePfx&) = delete;

  // Imports the first certificate of pfx that has a private key and adds it
  // to "MY" named szFriendlyName. "" on success, else what failed.
  std::string Import(const std::vector<unsigned char>& pfx, const wchar_t* szPassword,
                     const wchar_t* szFriendlyName) {
    if (m_pCert != nullptr) return "a certificate is imported already";
    std::vector<unsigned char> copy = pfx;
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(copy.size()), copy.data()};
    HCERTSTORE hPfx = PFXImportCertStore(&blob, szPassword, CRYPT_USER_KEYSET);
    if (hPfx == nullptr) return "PFXImportCertStore: " + std::to_string(GetLastError());
    HCERTSTORE hMy = OpenMy();
    if (hMy == nullptr) {
      CertCloseStore(hPfx, 0);
      return "CertOpenStore(MY): " + std::to_string(GetLastError());
    }
    std::string strError = "the PFX brought no certificate with a key";
    PCCERT_CONTEXT pCert = nullptr;
    // CertEnumCertificatesInStore frees the previous context on each call.
    while ((pCert = CertEnumCertificatesInStore(hPfx, pCert)) != nullptr) {
      DWORD nSize = 0;
      if (!CertGetCertificateContextProperty(pCert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nSize)) continue;
      const std::wstring strName(szFriendlyName);
      const CRYPT_DATA_BLOB name{static_cast<DWORD>((strName.size() + 1) * sizeof(wchar_t)),
                                 reinterpret_cast<BYTE*>(const_cast<wchar_t*>(strName.c_str()))};
      CertSetCertificateContextProperty(pCert, CERT_FRIENDLY_NAME_PROP_ID, 0, &name);
      if (CertAddCertificateContextToStore(hMy, pCert, CERT_STORE_ADD_REPLACE_EXISTING, &m_pCert)) {
        strError.clear();
      } else {
        strError = "CertAddCertificateContextToStore: " + std::to_string(GetLastError());
      }
      CertFreeCertificateContext(pCert);
      break;
    }
    if (strError.empty() && !CertControlStore(hMy, 0, CERT_STORE_CTRL_COMMIT, nullptr)) {
      strError = "CertControlStore(commit): " + std::to_string(GetLastError());
    }
    CertCloseStore(hMy, 0);
    CertCloseStore(hPfx, 0);
    return strError;
  }

  // The certificate as added to "MY"; null before Import and after Remove.
  PCCERT_CONTEXT Cert() const { return m_pCert; }

  // Takes the certificate out of "MY" and deletes its key container. True
  // when the store no longer holds it (also when nothing was imported).
  bool Remove() {
    if (m_pCert == nullptr) return true;
    DWORD nSize = 0;
    if (CertGetCertificateContextProperty(m_pCert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nSize)) {
      std::vector<BYTE> buffer(nSize);
      if (CertGetCertificateContextProperty(m_pCert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &nSize)) {
        const auto* pInfo = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
        HCRYPTPROV hProv = 0;
        CryptAcquireContextW(&hProv, pInfo->pwszContainerName, pInfo->pwszProvName, pInfo->dwProvType,
                             CRYPT_DELETEKEYSET);
      }
    }
    bool bGone = false;
    HCERTSTORE hMy = OpenMy();
    if (hMy != nullptr) {
      PCCERT_CONTEXT pFound =
          CertFindCertificateInStore(hMy, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, m_pCert, nullptr);
      // CertDeleteCertificateFromStore frees the context it is given.
      bGone = pFound == nullptr || CertDeleteCertificateFromStore(pFound);
      bGone = CertControlStore(hMy, 0, CERT_STORE_CTRL_COMMIT, nullptr) && bGone;
      CertCloseStore(hMy, 0);
    }
    CertFreeCertificateContext(m_pCert);
    m_pCert = nullptr;
    return bGone;
  }

 private:
  static HCERTSTORE OpenMy() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
  }

  PCCERT_CONTEXT m_pCert = nullptr;
};
