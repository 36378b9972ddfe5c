#include "base/system/KeyProbe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "base/system/DebugOutput.h"
#include "base/system/ExePath.h"
#include "base/system/Process.h"

namespace {

using Der = std::vector<unsigned char>;

// Exit codes of the token lister (libs/pkicard/TokenCertLister.cpp).
constexpr unsigned long kListerOk = 0;
constexpr unsigned long kListerNoModule = 3;
constexpr unsigned long kListerInitFailed = 4;
const char kListerName[] = "TolvanKeyProbe";
constexpr int kPathMax = 4096;

struct X509Free {
  void operator()(X509* p) const { X509_free(p); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr ParseDer(const Der& der) {
  const unsigned char* p = der.data();
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  // Trailing bytes after the certificate make the file something else.
  if (cert && p != der.data() + der.size()) cert.reset();
  return cert;
}

bool ReadWholeFile(const std::string& strPath, std::string& strText) {
  std::ifstream file(strPath, std::ios::binary);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  strText = text.str();
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One line of hex digits; false on anything else.
bool FromHexLine(const std::string& strLine, Der& der) {
  if (strLine.empty() || strLine.size() % 2 != 0) return false;
  der.clear();
  der.reserve(strLine.size() / 2);
  for (size_t i = 0; i < strLine.size(); i += 2) {
    const int nHigh = HexValue(strLine[i]);
    const int nLow = HexValue(strLine[i + 1]);
    if (nHigh < 0 || nLow < 0) return false;
    der.push_back(static_cast<unsigned char>(nHigh * 16 + nLow));
  }
  return true;
}

std::string ExeDir() {
  char szPath[kPathMax] = {0};
  if (!GetExePath(szPath, kPathMax)) return std::string();
  std::string strPath(szPath);
  const std::string::size_type nSlash = strPath.rfind('/');
  return nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash + 1);
}

// Runs the token lister with a bound; the certificates of the tokens present
// go to vecCerts in the lister's order.
int ReadTokenCerts(unsigned nTimeoutMs, std::vector<Der>& vecCerts) {
  const std::string strLister = ExeDir() + kListerName;
  const char* szTmp = std::getenv("TMPDIR");
  std::string strOut = (szTmp != nullptr && szTmp[0] == '/') ? szTmp : "/tmp";
  strOut += "/tolvan-keyprobe-XXXXXX";
  std::vector<char> vecName(strOut.begin(), strOut.end());
  vecName.push_back('\0');
  const int nFd = ::mkstemp(vecName.data());
  if (nFd < 0) return emKeyProbeNoLister;
  ::close(nFd);
  strOut = vecName.data();

  int nState = emKeyProbeNoLister;
  CProcess lister;
  if (lister.Start(strLister.c_str(), {strLister, strOut})) {
    unsigned long dwExit = 0;
    if (!lister.Wait(nTimeoutMs)) {
      lister.Kill();
      lister.Wait(TOLVAN_INFINITE);
      nState = emKeyProbeTimedOut;
    } else if (lister.GetExitCode(dwExit)) {
      if (dwExit == kListerOk) {
        nState = emKeyProbeTokensRead;
      } else if (dwExit == kListerNoModule) {
        nState = emKeyProbeNoModule;
      } else if (dwExit == kListerInitFailed) {
        nState = emKeyProbeModuleFailed;
      }
    }
  }
  if (nState == emKeyProbeTokensRead) {
    std::string strText;
    ReadWholeFile(strOut, strText);
    std::istringstream lines(strText);
    std::string strLine;
    Der der;
    while (std::getline(lines, strLine)) {
      if (FromHexLine(strLine, der)) vecCerts.push_back(der);
    }
  }
  ::unlink(strOut.c_str());
  return nState;
}

// The per-user store directory, by the rule of UserCertStoreDir()
// (CertStore.h).
std::string StoreDir() {
  const char* szData = std::getenv("XDG_DATA_HOME");
  std::string strBase;
  if (szData != nullptr && szData[0] == '/') {
    strBase = szData;
  } else {
    const char* szHome = std::getenv("HOME");
    if (szHome == nullptr || szHome[0] != '/') return std::string();
    strBase = std::string(szHome) + "/.local/share";
  }
  return strBase + "/Tolvan/certstore/MY";
}

// The store's certificates by file name; files that are not one certificate
// in DER go to vecNotCerts.
void ReadStoreCerts(std::vector<Der>& vecCerts, std::vector<std::string>& vecNotCerts) {
  const std::string strDir = StoreDir();
  if (strDir.empty()) return;
  DIR* pDir = ::opendir(strDir.c_str());
  if (pDir == nullptr) return;
  std::vector<std::string> vecNames;
  while (struct dirent* pEntry = ::readdir(pDir)) {
    const std::string strName = pEntry->d_name;
    if (strName == "." || strName == "..") continue;
    vecNames.push_back(strName);
  }
  ::closedir(pDir);
  std::sort(vecNames.begin(), vecNames.end());
  for (const std::string& strName : vecNames) {
    const std::string strPath = strDir + "/" + strName;
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::string strText;
    if (!ReadWholeFile(strPath, strText)) continue;
    Der der(strText.begin(), strText.end());
    if (!ParseDer(der)) {
      vecNotCerts.push_back(strPath);
      continue;
    }
    vecCerts.push_back(der);
  }
}

// The serial number's DER content bytes as lower-case hex, as stored.
std::string SerialText(X509* pCert) {
  const ASN1_INTEGER* pSerial = X509_get0_serialNumber(pCert);
  unsigned char* pDer = nullptr;
  const int nLen = i2d_ASN1_INTEGER(pSerial, &pDer);
  if (nLen <= 0 || pDer == nullptr) return std::string();
  std::unique_ptr<unsigned char, void (*)(unsigned char*)> guard(
      pDer, [](unsigned char* p) { OPENSSL_free(p); });
  // Skip the tag and the length (short or long form).
  int nPos = 1;
  if (nPos >= nLen) return std::string();
  const unsigned char byLen = pDer[nPos++];
  if ((byLen & 0x80) != 0) nPos += byLen & 0x7f;
  static const char kDigits[] = "0123456789abcdef";
  std::string strText;
  for (int i = nPos; i < nLen; ++i) {
    strText += kDigits[pDer[i] >> 4];
    strText += kDigits[pDer[i] & 0x0f];
  }
  return strText;
}

bool SignedWithSm2(X509* pCert) {
  const X509_ALGOR* pAlg = nullptr;
  X509_get0_signature(nullptr, &pAlg, pCert);
  if (pAlg == nullptr) return false;
  const ASN1_OBJECT* pObj = nullptr;
  X509_ALGOR_get0(&pObj, nullptr, nullptr, pAlg);
  char szOid[128] = {0};
  if (pObj == nullptr || OBJ_obj2txt(szOid, sizeof szOid, pObj, 1) <= 0) return false;
  return std::string(szOid).find("1.2.156.10197.1.501") != std::string::npos;
}

// The key-usage rule for one certificate.
bool TakenForSigning(X509* pCert) {
  const uint32_t nFlags = X509_get_extension_flags(pCert);
  if ((nFlags & EXFLAG_INVALID) != 0) return KeyUsageAllowsSigning(false, 0, 1);
  if ((nFlags & EXFLAG_KUSAGE) == 0) return KeyUsageAllowsSigning(false, 0, 0);
  const uint32_t nUsage = X509_get_key_usage(pCert);
  return KeyUsageAllowsSigning(true, static_cast<unsigned char>(nUsage & 0xff), 0);
}

}  // namespace

CKeyProbeResult ProbeUserKeyEx(unsigned nTimeoutMs) {
  CKeyProbeResult result;
  std::vector<Der> vecCerts;
  result.m_nTokens = ReadTokenCerts(nTimeoutMs, vecCerts);
  ReadStoreCerts(vecCerts, result.m_vecNotCerts);

  for (const Der& der : vecCerts) {
    X509Ptr cert = ParseDer(der);
    if (!cert) continue;
    const std::string strSerial = SerialText(cert.get());
    if (strSerial.empty()) continue;
    DebugOutput(strSerial.c_str());
    if (!TakenForSigning(cert.get())) continue;
    if (SignedWithSm2(cert.get())) DebugOutput("sm2 key");
    result.m_strSerial = strSerial;
    break;
  }
  return result;
}
