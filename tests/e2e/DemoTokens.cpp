#include "tests/e2e/DemoTokens.h"

#include <cctype>
#include <filesystem>
#include <utility>

namespace fs = std::filesystem;

CDemoTokens::CDemoTokens(const std::string& strRoot) : m_strRoot(strRoot) {
  std::error_code ec;
  fs::create_directories(m_strRoot + "/slot", ec);
}

bool CDemoTokens::Make(const std::string& strName) {
  if (RunIn(m_strRoot, ShellQuote(std::string(TOLVAN_SOURCE_DIR) + "/scripts/demo-token") + " " +
                           ShellQuote(m_strRoot + "/" + strName) + " " + kDemoTokenLabel) != 0) {
    return false;
  }
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(m_strRoot + "/" + strName + "/tokens", ec)) {
    m_mapTokenDirs[strName] = entry.path().filename().string();
  }
  return !m_mapTokenDirs[strName].empty();
}

bool CDemoTokens::Move(const std::string& strName, bool bIn) {
  const std::string strDir = m_mapTokenDirs[strName];
  if (strDir.empty()) return false;
  std::string strFrom = m_strRoot + "/" + strName + "/tokens/" + strDir;
  std::string strTo = m_strRoot + "/slot/" + strDir;
  if (!bIn) std::swap(strFrom, strTo);
  std::error_code ec;
  fs::rename(strFrom, strTo, ec);
  return !ec;
}

std::string CDemoTokens::CertPem(const std::string& strName) const {
  return m_strRoot + "/" + strName + "/demo-rsa.pem";
}

namespace {

// The DER content bytes of a certificate's serial: openssl prints the
// magnitude, so a serial whose top bit is set gains the 00 the encoding holds.
std::string SerialTextOf(const std::string& strDir, const std::string& strPem) {
  std::string strOut;
  RunIn(strDir, "openssl x509 -noout -serial -in " + ShellQuote(strPem), &strOut);
  std::string strHex = strOut.substr(strOut.find('=') + 1);
  strHex = strHex.substr(0, strHex.find_first_of("\r\n"));
  for (char& c : strHex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (strHex.size() % 2 != 0) strHex = "0" + strHex;
  if (!strHex.empty() && strHex[0] >= '8') strHex = "00" + strHex;
  return strHex;
}

}  // namespace

bool CDemoTokens::HasSerial(const std::string& strName, const std::string& strSerial) const {
  return !strSerial.empty() &&
         (strSerial == SerialTextOf(m_strRoot, CertPem(strName)) ||
          strSerial == SerialTextOf(m_strRoot, m_strRoot + "/" + strName + "/demo-ec.pem"));
}

void CDemoTokens::SetEnvironment() const {
  UseSoftHsm(m_strRoot, m_strRoot + "/slot", kDemoTokenLabel);
  setenv("XDG_DATA_HOME", (m_strRoot + "/data").c_str(), 1);
}
