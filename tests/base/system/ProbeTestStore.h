#pragma once

// The current user's "MY" store as the key probe test fills it. POSIX: a
// per-user store directory of its own (XDG_DATA_HOME points at a temporary
// directory) and no PKCS#11 module (PKICARD_MODULE names a missing file);
// Windows: the real store, from which every certificate added is removed
// again on destruction.

#include <memory>
#include <string>
#include <vector>

class CProbeTestStore {
 public:
  CProbeTestStore();
  ~CProbeTestStore();
  CProbeTestStore(const CProbeTestStore&) = delete;
  CProbeTestStore& operator=(const CProbeTestStore&) = delete;

  bool Ok() const;
  // Adds a certificate; strName orders the POSIX store (by file name).
  bool Add(const std::vector<unsigned char>& der, const std::string& strName);
  // POSIX: a file of any content in the store directory (its full path), or
  // "" where the store holds certificates only.
  std::string AddFile(const std::vector<unsigned char>& bytes, const std::string& strName);

 private:
  struct CImpl;
  std::unique_ptr<CImpl> m_pImpl;
};
