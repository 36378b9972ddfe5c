#pragma once

#include <string>
#include <vector>

// The key probe: the serial text of the current user's signing certificate
// (the form of CertStore.h: lower-case hex pairs, most significant byte
// first), or an empty string when there is none.
//
// Windows: the system store "MY" of the current user, in the store's order.
// POSIX: first the certificates of every PKCS#11 token present, then the DER
//   files of the per-user store directory ($XDG_DATA_HOME/Tolvan/certstore/MY,
//   ~/.local/share/... without it) by file name. Tokens are read by the
//   program "TolvanKeyProbe" beside the executable, a fresh process per
//   probe: it loads the module the card library is configured with (the same
//   settings, read by the same code), lists the certificates of every token
//   that needs a login (key stores, not trust-anchor stores) and matches the
//   configured token label or serial, and ends. A fresh process sees tokens
//   put in or taken out even where a module rescans only at initialisation,
//   and never finalises the module under the card library in this process.
//   A lister that has not finished after the probe's time bound is killed.
//
// The first certificate that passes the key-usage rule is taken (see
// KeyUsageAllowsSigning). Every certificate's serial text goes to the
// debugger output channel; "sm2 key" follows when the taken certificate is
// signed with the SM2 algorithm.

// What became of the token part of one probe.
enum emKeyProbeTokens {
  emKeyProbeTokensRead = 0,     // every token present was read (maybe none)
  emKeyProbeNoModule = 1,       // the PKCS#11 module is missing or does not load
  emKeyProbeModuleFailed = 2,   // no module could be initialised
  emKeyProbeTimedOut = 3,       // the lister did not finish in time and was killed
  emKeyProbeNoLister = 4,       // the lister could not be started or failed
  emKeyProbeNoTokenPart = 5,    // this platform has no token part (Windows)
};

struct CKeyProbeResult {
  std::string m_strSerial;                  // empty: no signing certificate
  int m_nTokens = emKeyProbeTokensRead;     // an emKeyProbeTokens value
  std::vector<std::string> m_vecNotCerts;   // store files that are not certificates
};

// Time the token lister may take before it is killed.
constexpr unsigned KEY_PROBE_TIMEOUT_MS = 3000;

// One probe of the store.
CKeyProbeResult ProbeUserKeyEx(unsigned nTimeoutMs = KEY_PROBE_TIMEOUT_MS);

// The serial text alone.
std::string ProbeUserKey();

// The key-usage rule. With the first byte of the certificate's key usage
// read: taken when the digital-signature bit (0x80) is set or the
// data-encipherment bit (0x10) is clear. When it could not be read: taken
// when the reason is 0 (the certificate has no key usage) or 2.
bool KeyUsageAllowsSigning(bool bUsageRead, unsigned char byFirstUsage, unsigned long nReason);

// Text of one emKeyProbeTokens value, for log lines.
const char* KeyProbeTokensText(int nTokens);
