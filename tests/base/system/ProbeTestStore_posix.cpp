#include "tests/base/system/ProbeTestStore.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"

struct CProbeTestStore::CImpl {
  CTempDir m_dir{"keyprobe-test"};
  CEnvOverride m_data{"XDG_DATA_HOME", m_dir.Str()};
  CEnvOverride m_module{"PKICARD_MODULE", m_dir.Join("absent-module.so")};
  CEnvOverride m_ini{"PKICARD_INI", m_dir.Join("absent.ini")};
  std::filesystem::path m_store = m_dir.Path() / "Tolvan" / "certstore" / "MY";
};

CProbeTestStore::CProbeTestStore() : m_pImpl(new CImpl) {
  std::error_code ec;
  std::filesystem::create_directories(m_pImpl->m_store, ec);
}

CProbeTestStore::~CProbeTestStore() = default;

bool CProbeTestStore::Ok() const {
  return m_pImpl->m_dir.Ok() && std::filesystem::is_directory(m_pImpl->m_store);
}

std::string CProbeTestStore::AddFile(const std::vector<unsigned char>& bytes,
                                     const std::string& strName) {
  const std::filesystem::path path = m_pImpl->m_store / strName;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return file ? path.string() : std::string();
}

bool CProbeTestStore::Add(const std::vector<unsigned char>& der, const std::string& strName) {
  return !AddFile(der, strName + ".cer").empty();
}
