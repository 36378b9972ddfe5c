#include "tests/e2e/DemoTokens.h"

#include <cctype>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

CDemoTokens::CDemoTokens(const std::string& strRoot) : m_strRoot(strRoot) {
  std::error_code ec;
  fs::create_directories(m_strRoot + "/slot", ec);
}

bool CDemoTokens::Make(const std::string& strName) {
  return RunIn(m_strRoot, ShellQuote(std::string(TOLVAN_SOURCE_DIR) + "/scripts/demo-token") +
                              " " + ShellQuote(m_strRoot + "/" + strName) + " " +
                              kDemoTokenLabel) == 0;
}

// The one token directory (named by SoftHSM with a UUID) under strName/tokens
// or, once inserted, the slot's entry that came from it.
std::string CDemoTokens::TokenDirOf(const std::string& strName) const {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(m_strRoot + "/" + strName + "/tokens", ec)) {
    return entry.path().filename().string();
  }
  std::ifstream in(m_strRoot + "/" + strName + "/inserted-as");
  std::string strDir;
  std::getline(in, strDir);
  return strDir;
}

bool CDemoTokens::Insert(const std::string& strName) {
  const std::string strDir = TokenDirOf(strName);
  if (strDir.empty()) return false;
  std::ofstream(m_strRoot + "/" + strName + "/inserted-as") << strDir << "\n";
  std::error_code ec;
  fs::rename(m_strRoot + "/" + strName + "/tokens/" + strDir, m_strRoot + "/slot/" + strDir, ec);
  return !ec;
}

bool CDemoTokens::Remove(const std::string& strName) {
  const std::string strDir = TokenDirOf(strName);
  if (strDir.empty()) return false;
  std::error_code ec;
  fs::rename(m_strRoot + "/slot/" + strDir, m_strRoot + "/" + strName + "/tokens/" + strDir, ec);
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
  while (!strHex.empty() && (strHex.back() == '\n' || strHex.back() == '\r')) strHex.pop_back();
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
