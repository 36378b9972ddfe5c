#pragma once

// The current user's "MY" store as the key probe test fills it. POSIX: a
// per-user store directory of its own (XDG_DATA_HOME points at a temporary
// directory) and no PKCS#11 module (PKICARD_MODULE names a missing file);
// Windows: the real store, from which every certificate added is removed
// again on destruction.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>

class CProbeTestStore {
 public:
  CProbeTestStore() : m_hStore(CertOpenSystemStoreA(0, "MY")) {}
  ~CProbeTestStore() {
    // CertDeleteCertificateFromStore frees the context it is given.
    for (PCCERT_CONTEXT pCert : m_vecAdded) CertDeleteCertificateFromStore(pCert);
    if (m_hStore == nullptr) return;
    CertControlStore(m_hStore, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(m_hStore, 0);
  }
  CProbeTestStore(const CProbeTestStore&) = delete;
  CProbeTestStore& operator=(const CProbeTestStore&) = delete;

  bool Ok() const { return m_hStore != nullptr; }
  bool Add(const std::vector<unsigned char>& der, const std::string& /*strName*/) {
    PCCERT_CONTEXT pAdded = nullptr;
    if (!CertAddEncodedCertificateToStore(m_hStore, X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, &pAdded)) {
      return false;
    }
    m_vecAdded.push_back(pAdded);
    // Written through at once, so that the probe's own open of the store sees
    // it (Wine keeps a store's changes until it is closed or committed).
    return CertControlStore(m_hStore, 0, CERT_STORE_CTRL_COMMIT, nullptr) != FALSE;
  }
  // The store holds certificates only.
  std::string AddFile(const std::vector<unsigned char>& /*bytes*/, const std::string& /*strName*/) {
    return std::string();
  }

 private:
  HCERTSTORE m_hStore;
  std::vector<PCCERT_CONTEXT> m_vecAdded;
};
#else
class CProbeTestStore {
 public:
  CProbeTestStore() { std::filesystem::create_directories(m_store, m_ec); }

  bool Ok() const { return m_dir.Ok() && std::filesystem::is_directory(m_store); }
  // strName orders the store (by file name).
  bool Add(const std::vector<unsigned char>& der, const std::string& strName) {
    return !AddFile(der, strName + ".cer").empty();
  }
  // A file of any content in the store directory: its full path.
  std::string AddFile(const std::vector<unsigned char>& bytes, const std::string& strName) {
    WriteFile(m_store / strName, std::string(bytes.begin(), bytes.end()));
    return std::filesystem::exists(m_store / strName) ? (m_store / strName).string() : "";
  }

 private:
  CTempDir m_dir{"keyprobe-test"};
  CEnvOverride m_data{"XDG_DATA_HOME", m_dir.Str()};
  CEnvOverride m_module{"PKICARD_MODULE", m_dir.Join("absent-module.so")};
  CEnvOverride m_ini{"PKICARD_INI", m_dir.Join("absent.ini")};
  std::filesystem::path m_store = m_dir.Path() / "Tolvan" / "certstore" / "MY";
  std::error_code m_ec;
};
#endif
