#pragma once

#include <string>

// Where the card library finds its token and its trust anchors.
struct PkiConfig {
  std::string m_strModule;       // PKCS#11 module path
  std::string m_strTokenLabel;   // empty: any token
  std::string m_strTokenSerial;  // empty: any token
  std::string m_strTrustStore;   // empty: the system's default trust store
};

// The p11-kit proxy module, which reaches every module p11-kit knows of.
extern const char* const kDefaultPkcs11Module;

// True when the path names the p11-kit proxy module, which p11-kit will not
// load as a module of its own: users load every registered module instead.
bool IsPkcs11ProxyModule(const std::string& strPath);

// Reads the configuration: each environment variable PKICARD_MODULE,
// PKICARD_TOKEN_LABEL, PKICARD_TOKEN_SERIAL, PKICARD_TRUST_STORE wins over the
// key of the same meaning (Module, TokenLabel, TokenSerial, TrustStore) in
// section [pkiCard] of the INI file named by PKICARD_INI, else of
// "pkiCard.ini" beside the library. A missing file is no error.
PkiConfig LoadPkiConfig();

// Reads section [pkiCard] from INI text into cfg (keys absent leave fields
// unchanged). Lines are "key=value"; ';' and '#' start comments; blanks around
// keys and values are dropped; keys compare without regard to case.
void ParsePkiIni(const std::string& strText, PkiConfig& cfg);

// The configuration last read, shared by the library's calls: the first use
// reads it, ReloadPkiConfig (at pkiInit) reads it again.
PkiConfig CurrentPkiConfig();
PkiConfig ReloadPkiConfig();
