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
  // Writes the changes to where the store keeps them now, rather than when
  // the last reference to the store goes.
  bool Commit() const {
    return ::CertControlStore(m_hStore, 0, CERT_STORE_CTRL_COMMIT, nullptr) != FALSE;
  }

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

// The first certificate with this serial text, or null.
PCCERT_CONTEXT FindBySerial(HCERTSTORE hStore, const std::string& strWanted) {
  PCCERT_CONTEXT pContext = nullptr;
  while ((pContext = ::CertEnumCertificatesInStore(hStore, pContext)) != nullptr) {
    if (CertSerialText(ContextDer(pContext)) == strWanted) return pContext;
  }
  return nullptr;
}

bool RemoveFromStore(HCERTSTORE hStore, const std::string& strWanted) {
  // One at a time, each found by a fresh enumeration: deleting ends the
  // enumeration it came from. A certificate that a deletion does not remove
  // ends the loop after a bounded number of rounds.
  constexpr int kMaxRounds = 64;
  for (int nRound = 0; nRound < kMaxRounds; ++nRound) {
    PCCERT_CONTEXT pMatch = FindBySerial(hStore, strWanted);
    if (pMatch == nullptr) return true;
    // Deleting frees the context it is given, also when it fails.
    if (!::CertDeleteCertificateFromStore(pMatch)) return false;
  }
  return false;
}

}  // namespace

std::string UserCertStoreDir() { return std::string(); }

bool InstallUserCert(const CertDer& vDer) {
  const std::string strSerial = CertSerialText(vDer);
  if (strSerial.empty() || vDer.size() > ULONG_MAX) return false;
  CMyStore store;
  if (store.Get() == nullptr || !RemoveFromStore(store.Get(), strSerial)) return false;
  const bool bAdded =
      ::CertAddEncodedCertificateToStore(store.Get(), kEncoding, vDer.data(),
                                         static_cast<DWORD>(vDer.size()),
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
  store.Commit();
  return bAdded;
}

bool RemoveUserCertBySerial(const std::string& strSerial) {
  const std::string strWanted = Lower(strSerial);
  if (strWanted.empty()) return true;
  CMyStore store;
  if (store.Get() == nullptr) return false;
  const bool bAllGone = RemoveFromStore(store.Get(), strWanted);
  store.Commit();
  return bAllGone;
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
