#pragma once

// A private world for one cloud test: the state file's directory, the
// configuration directory (QR image), the certificate store (POSIX) and a
// clock the test sets, all undone at the end.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/system/Process.h"
#include "cloud/CloudState.h"
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
    for (auto it = m_vSaved.rbegin(); it != m_vSaved.rend(); ++it) {
      SetEnvVar(it->first.c_str(), it->second.first ? it->second.second.c_str() : nullptr);
    }
  }
  CCloudWorld(const CCloudWorld&) = delete;
  CCloudWorld& operator=(const CCloudWorld&) = delete;

  // Sets (null: clears) an environment variable until the world ends.
  void SetEnv(const char* szName, const char* szValue) {
    std::string strOld;
    const bool bSet = GetEnvVar(szName, strOld);
    m_vSaved.push_back({szName, {bSet, strOld}});
    SetEnvVar(szName, szValue);
  }
  const CTempDir& Dir() const { return m_dir; }
  static void SetNow(int64_t nNow) { s_nNow = nNow; }
  static int64_t Now() { return s_nNow; }

 private:
  static inline int64_t s_nNow = 0;
  CTempDir m_dir{"tolvan-cloud"};
  std::vector<std::pair<std::string, std::pair<bool, std::string>>> m_vSaved;
};
