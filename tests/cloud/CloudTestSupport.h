#pragma once

// A private world for one cloud test: the state file's directory, the configuration directory
// (QR image), the certificate store (POSIX), environment settings and a clock the test sets, all
// undone at the end.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cloud/CloudState.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

class CCloudWorld {
 public:
  CCloudWorld() {
    SetEnv("TOLVAN_CONFIG_DIR", m_dir.Join("config").c_str());
    SetEnv("XDG_DATA_HOME", m_dir.Join("data").c_str());
    SetCloudStateDir(m_dir.Str());
    s_nNow = 1700000000;
    SetCloudClock([] { return s_nNow; });
  }
  ~CCloudWorld() {
    SetCloudClock(nullptr);
    SetCloudStateDir(std::string());
    while (!m_vSaved.empty()) m_vSaved.pop_back();  // the oldest value is put back last
  }

  // Sets (null: clears) an environment variable until the world ends.
  void SetEnv(const char* szName, const char* szValue) {
    m_vSaved.push_back(std::make_unique<CEnvOverride>(szName, szValue));
  }
  const CTempDir& Dir() const { return m_dir; }
  static void SetNow(int64_t nNow) { s_nNow = nNow; }
  static int64_t Now() { return s_nNow; }

 private:
  static inline int64_t s_nNow = 0;
  CTempDir m_dir{"tolvan-cloud"};
  std::vector<std::unique_ptr<CEnvOverride>> m_vSaved;
};
