#include "base/system/KeyProbe.h"

bool KeyUsageAllowsSigning(bool bUsageRead, unsigned char byFirstUsage, unsigned long nReason) {
  const unsigned char kDigitalSignature = 0x80;
  const unsigned char kDataEncipherment = 0x10;
  if (bUsageRead) {
    return (byFirstUsage & kDigitalSignature) != 0 || (byFirstUsage & kDataEncipherment) == 0;
  }
  return nReason == 0 || nReason == 2;
}

std::string ProbeUserKey() { return ProbeUserKeyEx().m_strSerial; }

const char* KeyProbeTokensText(int nTokens) {
  switch (nTokens) {
    case emKeyProbeTokensRead:
      return "tokens read";
    case emKeyProbeNoModule:
      return "PKCS#11 module missing or not loadable";
    case emKeyProbeModuleFailed:
      return "PKCS#11 module failed to initialise";
    case emKeyProbeTimedOut:
      return "PKCS#11 module did not answer in time";
    case emKeyProbeNoLister:
      return "token lister TolvanKeyProbe could not run";
    case emKeyProbeNoTokenPart:
      return "no token part";
    default:
      return "unknown";
  }
}
