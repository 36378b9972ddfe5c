#include "base/system/CertStore.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <climits>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The current user's "MY" store, closed with the object.
class CMyStore {
 public:
  CMyStore() : m_hStore(::CertOpenSystemStoreA(0, "MY")) {}
  ~CMyStore() {
    if (m_hStore != nullptr) ::CertCloseStore(m_hStore, 0);
  }
  CMyStore(const CMyStore&) = delete;
  CMyStore& operator=(const CMyStore&) = delete;
  HCERTSTORE Get() const { return m_hStore; }

 private:
  HCERTSTORE m_hStore;
};

CertDer ContextDer(PCCERT_CONTEXT pContext) {
  return CertDer(pContext->pbCertEncoded, pContext->pbCertEncoded + pContext->cbCertEncoded);
}

std::string Lower(std::string strText) {
  std::transform(strText.begin(), strText.end(), strText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return strText;
}

bool RemoveFromStore(HCERTSTORE hStore, const std::string& strWanted) {
  bool bAllGone = true;
  PCCERT_CONTEXT pContext = nullptr;
  while ((pContext = ::CertEnumCertificatesInStore(hStore, pContext)) != nullptr) {
    if (CertSerialText(ContextDer(pContext)) != strWanted) continue;
    // Deleting frees the context it is given: delete a duplicate, so that the
    // enumeration can go on from the original.
    PCCERT_CONTEXT pDup = ::CertDuplicateCertificateContext(pContext);
    if (pDup == nullptr || !::CertDeleteCertificateFromStore(pDup)) bAllGone = false;
  }
  return bAllGone;
}

}  // namespace

std::string UserCertStoreDir() { return std::string(); }

bool InstallUserCert(const CertDer& vDer) {
  const std::string strSerial = CertSerialText(vDer);
  if (strSerial.empty() || vDer.size() > ULONG_MAX) return false;
  CMyStore store;
  if (store.Get() == nullptr || !RemoveFromStore(store.Get(), strSerial)) return false;
  return ::CertAddEncodedCertificateToStore(store.Get(), kEncoding, vDer.data(),
                                            static_cast<DWORD>(vDer.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
}

bool RemoveUserCertBySerial(const std::string& strSerial) {
  const std::string strWanted = Lower(strSerial);
  if (strWanted.empty()) return true;
  CMyStore store;
  if (store.Get() == nullptr) return false;
  return RemoveFromStore(store.Get(), strWanted);
}

std::vector<CertDer> ListUserCerts() {
  std::vector<CertDer> vCerts;
  CMyStore store;
  if (store.Get() == nullptr) return vCerts;
  PCCERT_CONTEXT pContext = nullptr;
  while ((pContext = ::CertEnumCertificatesInStore(store.Get(), pContext)) != nullptr) {
    CertDer vDer = ContextDer(pContext);
    if (!CertSerialText(vDer).empty()) vCerts.push_back(std::move(vDer));
  }
  return vCerts;
}
