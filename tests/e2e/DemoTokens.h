#pragma once

// Demo tokens for end-to-end tests: SoftHSM2 tokens made by scripts/demo-token
// (the same script scripts/run uses), put in and taken out of one slot
// directory by moving their directories, the way a key is plugged in and
// pulled out.

#include <map>
#include <string>

#include "tests/support/CommandLine.h"

constexpr char kDemoTokenLabel[] = "TolvanDemo";
constexpr char kDemoPin[] = "123456";
constexpr char kDemoSignLabel[] = "Demo_SIG";

class CDemoTokens {
 public:
  // strRoot: an existing directory of the test's own.
  explicit CDemoTokens(const std::string& strRoot);

  // Makes token strName (label kDemoTokenLabel, its own key and certificate),
  // outside the slot.
  bool Make(const std::string& strName);
  bool Insert(const std::string& strName) { return Move(strName, true); }
  bool Remove(const std::string& strName) { return Move(strName, false); }

  // The token's RSA certificate (PEM), and the serial texts (lower-case hex)
  // of its RSA and its EC certificate: the probe takes whichever the token
  // lists first.
  std::string CertPem(const std::string& strName) const;
  bool HasSerial(const std::string& strName, const std::string& strSerial) const;

  // Points this process (and the processes it starts) at the slot.
  void SetEnvironment() const;

 private:
  bool Move(const std::string& strName, bool bIn);
  std::string m_strRoot;
  // The token directory (named by SoftHSM with a UUID) of each token made.
  std::map<std::string, std::string> m_mapTokenDirs;
};
