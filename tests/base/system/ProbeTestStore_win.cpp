#include "tests/base/system/ProbeTestStore.h"

#include <windows.h>
#include <wincrypt.h>

struct CProbeTestStore::CImpl {
  HCERTSTORE m_hStore = nullptr;
  std::vector<PCCERT_CONTEXT> m_vecAdded;
};

CProbeTestStore::CProbeTestStore() : m_pImpl(new CImpl) {
  m_pImpl->m_hStore = CertOpenSystemStoreA(0, "MY");
}

CProbeTestStore::~CProbeTestStore() {
  for (PCCERT_CONTEXT pCert : m_pImpl->m_vecAdded) {
    // CertDeleteCertificateFromStore frees the context it is given.
    CertDeleteCertificateFromStore(pCert);
  }
  if (m_pImpl->m_hStore != nullptr) {
    CertControlStore(m_pImpl->m_hStore, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(m_pImpl->m_hStore, 0);
  }
}

bool CProbeTestStore::Ok() const { return m_pImpl->m_hStore != nullptr; }

bool CProbeTestStore::Add(const std::vector<unsigned char>& der, const std::string& /*strName*/) {
  PCCERT_CONTEXT pAdded = nullptr;
  if (!CertAddEncodedCertificateToStore(m_pImpl->m_hStore, X509_ASN_ENCODING, der.data(),
                                        static_cast<DWORD>(der.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, &pAdded)) {
    return false;
  }
  m_pImpl->m_vecAdded.push_back(pAdded);
  // Written through at once, so that the probe's own open of the store sees
  // it (Wine keeps a store's changes until it is closed or committed).
  return CertControlStore(m_pImpl->m_hStore, 0, CERT_STORE_CTRL_COMMIT, nullptr) != FALSE;
}

std::string CProbeTestStore::AddFile(const std::vector<unsigned char>& /*bytes*/,
                                     const std::string& /*strName*/) {
  return std::string();
}
