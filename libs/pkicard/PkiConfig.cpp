#include "libs/pkicard/PkiConfig.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "libs/pkicard/LibraryDir.h"

// The build passes the proxy module's full path from p11-kit's pkg-config data.
#ifndef PKICARD_DEFAULT_MODULE
#define PKICARD_DEFAULT_MODULE "p11-kit-proxy.so"
#endif
const char* const kDefaultPkcs11Module = PKICARD_DEFAULT_MODULE;

namespace {

std::string Trim(const std::string& s) {
  const char* const kBlanks = " \t\r\n";
  const std::string::size_type nFirst = s.find_first_not_of(kBlanks);
  if (nFirst == std::string::npos) return std::string();
  const std::string::size_type nLast = s.find_last_not_of(kBlanks);
  return s.substr(nFirst, nLast - nFirst + 1);
}

bool SameKey(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) &&
         std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

void FromEnv(const char* szName, std::string& strField) {
  const char* szValue = std::getenv(szName);
  if (szValue != nullptr && szValue[0] != '\0') strField = szValue;
}

}  // namespace

bool IsPkcs11ProxyModule(const std::string& strPath) {
  const std::string::size_type nSlash = strPath.rfind('/');
  const std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
  return strName == "p11-kit-proxy.so" || strPath == kDefaultPkcs11Module;
}

void ParsePkiIni(const std::string& strText, PkiConfig& cfg) {
  std::istringstream in(strText);
  std::string strLine;
  bool bInSection = false;
  while (std::getline(in, strLine)) {
    const std::string strTrimmed = Trim(strLine);
    if (strTrimmed.empty() || strTrimmed[0] == ';' || strTrimmed[0] == '#') continue;
    if (strTrimmed[0] == '[') {
      const std::string::size_type nClose = strTrimmed.find(']');
      bInSection = nClose != std::string::npos && SameKey(Trim(strTrimmed.substr(1, nClose - 1)), "pkiCard");
      continue;
    }
    if (!bInSection) continue;
    const std::string::size_type nEq = strTrimmed.find('=');
    if (nEq == std::string::npos) continue;
    const std::string strKey = Trim(strTrimmed.substr(0, nEq));
    const std::string strValue = Trim(strTrimmed.substr(nEq + 1));
    if (SameKey(strKey, "Module")) {
      cfg.m_strModule = strValue;
    } else if (SameKey(strKey, "TokenLabel")) {
      cfg.m_strTokenLabel = strValue;
    } else if (SameKey(strKey, "TokenSerial")) {
      cfg.m_strTokenSerial = strValue;
    } else if (SameKey(strKey, "TrustStore")) {
      cfg.m_strTrustStore = strValue;
    }
  }
}

PkiConfig LoadPkiConfig() {
  PkiConfig cfg;
  cfg.m_strModule = kDefaultPkcs11Module;

  std::string strIni;
  FromEnv("PKICARD_INI", strIni);
  if (strIni.empty()) {
    const std::string strDir = GetLibraryDir();
    if (!strDir.empty()) strIni = strDir + "pkiCard.ini";
  }
  if (!strIni.empty()) {
    std::ifstream file(strIni, std::ios::binary);
    if (file) {
      std::ostringstream text;
      text << file.rdbuf();
      ParsePkiIni(text.str(), cfg);
    }
  }

  FromEnv("PKICARD_MODULE", cfg.m_strModule);
  FromEnv("PKICARD_TOKEN_LABEL", cfg.m_strTokenLabel);
  FromEnv("PKICARD_TOKEN_SERIAL", cfg.m_strTokenSerial);
  FromEnv("PKICARD_TRUST_STORE", cfg.m_strTrustStore);
  if (cfg.m_strModule.empty()) cfg.m_strModule = kDefaultPkcs11Module;
  return cfg;
}

namespace {

struct ConfigState {
  std::mutex m_mutex;
  PkiConfig m_cfg;
  bool m_bLoaded = false;
};

ConfigState& Current() {
  static ConfigState s_state;
  return s_state;
}

}  // namespace

PkiConfig CurrentPkiConfig() {
  ConfigState& state = Current();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  if (!state.m_bLoaded) {
    state.m_cfg = LoadPkiConfig();
    state.m_bLoaded = true;
  }
  return state.m_cfg;
}

PkiConfig ReloadPkiConfig() {
  ConfigState& state = Current();
  std::lock_guard<std::mutex> lock(state.m_mutex);
  state.m_cfg = LoadPkiConfig();
  state.m_bLoaded = true;
  return state.m_cfg;
}
