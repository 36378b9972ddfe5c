#pragma once

// Sets (or, with a null value, removes) one environment variable for the life
// of the object and puts the old state back when it goes.

#include <string>

#include "base/system/Process.h"

class CEnvOverride {
 public:
  CEnvOverride(const char* szName, const char* szValue) : m_strName(szName) {
    m_bHad = GetEnvVar(szName, m_strOld);
    SetEnvVar(szName, szValue);
  }
  CEnvOverride(const char* szName, const std::string& strValue)
      : CEnvOverride(szName, strValue.c_str()) {}
  ~CEnvOverride() { SetEnvVar(m_strName.c_str(), m_bHad ? m_strOld.c_str() : nullptr); }
  CEnvOverride(const CEnvOverride&) = delete;
  CEnvOverride& operator=(const CEnvOverride&) = delete;

 private:
  std::string m_strName;
  std::string m_strOld;
  bool m_bHad = false;
};
