#include "base/system/KeyProbe.h"

#include <windows.h>
#include <wincrypt.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "base/system/DebugOutput.h"

namespace {

// The serial number bytes (stored least significant first) as the object
// formatter prints them: a hex dump with spaces, in the system code page,
// spaces removed and the two-character groups reversed. Lower case, as every
// serial text of the system. Empty when formatting fails.
std::string SerialText(const CRYPT_INTEGER_BLOB& serial) {
  DWORD cbFormat = 0;
  if (!CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, nullptr, serial.pbData, serial.cbData,
                         nullptr, &cbFormat) ||
      cbFormat == 0) {
    return std::string();
  }
  std::vector<wchar_t> vecWide(cbFormat / sizeof(wchar_t) + 1, L'\0');
  if (!CryptFormatObject(X509_ASN_ENCODING, 0, 0, nullptr, nullptr, serial.pbData, serial.cbData,
                         vecWide.data(), &cbFormat)) {
    return std::string();
  }
  const int nBytes = WideCharToMultiByte(CP_ACP, 0, vecWide.data(), -1, nullptr, 0, nullptr, nullptr);
  if (nBytes <= 0) return std::string();
  std::vector<char> vecText(static_cast<size_t>(nBytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, vecWide.data(), -1, vecText.data(), nBytes, nullptr, nullptr);

  std::string strDump;
  for (const char* p = vecText.data(); *p != '\0'; ++p) {
    if (*p != ' ') strDump += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  }
  std::string strText;
  for (size_t nEnd = strDump.size(); nEnd >= 2; nEnd -= 2) strText += strDump.substr(nEnd - 2, 2);
  return strText;
}

bool TakenForSigning(PCCERT_CONTEXT pCert) {
  BYTE byUsage = 0;
  SetLastError(0);
  if (CertGetIntendedKeyUsage(X509_ASN_ENCODING, pCert->pCertInfo, &byUsage, 1)) {
    return KeyUsageAllowsSigning(true, byUsage, 0);
  }
  return KeyUsageAllowsSigning(false, 0, GetLastError());
}

}  // namespace

CKeyProbeResult ProbeUserKeyEx(unsigned /*nTimeoutMs*/) {
  CKeyProbeResult result;
  result.m_nTokens = emKeyProbeNoTokenPart;
  HCERTSTORE hStore = CertOpenSystemStoreA(0, "MY");
  if (hStore == nullptr) return result;

  PCCERT_CONTEXT pTaken = nullptr;
  std::string strTaken;
  PCCERT_CONTEXT pCert = nullptr;
  // CertEnumCertificatesInStore frees the previous context on each call.
  while ((pCert = CertEnumCertificatesInStore(hStore, pCert)) != nullptr) {
    const std::string strSerial = SerialText(pCert->pCertInfo->SerialNumber);
    if (strSerial.empty()) continue;
    DebugOutput(strSerial.c_str());
    if (!TakenForSigning(pCert)) continue;
    pTaken = CertDuplicateCertificateContext(pCert);
    strTaken = strSerial;
    CertFreeCertificateContext(pCert);
    break;
  }
  if (pTaken != nullptr) {
    const char* szOid = pTaken->pCertInfo->SignatureAlgorithm.pszObjId;
    if (szOid != nullptr && std::strstr(szOid, "1.2.156.10197.1.501") != nullptr) {
      DebugOutput("sm2 key");
    }
    CertFreeCertificateContext(pTaken);
    result.m_strSerial = strTaken;
  }
  CertCloseStore(hStore, 0);
  return result;
}
