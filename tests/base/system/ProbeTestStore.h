#pragma once

// The current user's "MY" store as the key probe test fills it, through the
// store functions the cloud key uses. POSIX: a store directory of its own
// (XDG_DATA_HOME in a temporary directory) and no PKCS#11 module; Windows: the
// real store, from which every certificate added is removed on destruction.

#include <filesystem>
#include <string>
#include <vector>

#include "base/system/CertStore.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

class CProbeTestStore {
 public:
  ~CProbeTestStore() {
    for (const std::string& strSerial : m_vecSerials) RemoveUserCertBySerial(strSerial);
  }
  bool Ok() const { return m_dir.Ok(); }
  // POSIX orders the store by serial number.
  bool Add(const CertDer& vDer) {
    m_vecSerials.push_back(CertSerialText(vDer));
    return InstallUserCert(vDer);
  }
  // A file of any content in the store directory: its full path ("" where the
  // store is not a directory).
  std::string AddFile(const CertDer& vBytes, const std::string& strName) {
    const std::string strDir = UserCertStoreDir();
    if (strDir.empty()) return std::string();
    std::filesystem::create_directories(strDir);
    WriteFile(strDir + "/" + strName, std::string(vBytes.begin(), vBytes.end()));
    return strDir + "/" + strName;
  }

 private:
  CTempDir m_dir{"keyprobe-test"};
  CEnvOverride m_data{"XDG_DATA_HOME", m_dir.Str()};
  CEnvOverride m_module{"PKICARD_MODULE", m_dir.Join("absent-module.so")};
  CEnvOverride m_ini{"PKICARD_INI", m_dir.Join("absent.ini")};
  std::vector<std::string> m_vecSerials;
};
