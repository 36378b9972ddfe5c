#include "libs/cloudkey/CloudKey.h"

#include <fstream>
#include <sstream>

#include "base/ini/IniFile.h"
#include "base/search/DecimalText.h"
#include "base/system/AppDirs.h"
#include "base/system/ExePath.h"
#include "base/system/Process.h"

namespace {

const char kSettingsFile[] = "TolvanService.ini";
const char kSection[] = "Cloud";
constexpr long kMaxTimeoutMs = 10L * 60 * 1000;
constexpr int kMaxKeyPool = 32;
// An envelope certificate in PEM form is a few kilobytes.
constexpr std::streamoff kMaxPemFile = 64 * 1024;

// A whole decimal number in [nMin, nMax]; false for anything else.
bool ParseBounded(const std::string& strText, long nMin, long nMax, long& nValue) {
  uint64_t n = 0;
  if (!ParseDecimalDigits(strText, n) || n < static_cast<uint64_t>(nMin) ||
      n > static_cast<uint64_t>(nMax)) {
    return false;
  }
  nValue = static_cast<long>(n);
  return true;
}

// The environment's value when set and not empty, else the file's.
std::string Setting(const CIniFile::RecordList& vecRecords, const char* szKey,
                    const char* szEnv) {
  std::string strValue;
  if (szEnv != nullptr && GetEnvVar(szEnv, strValue) && !strValue.empty()) return strValue;
  return CIniFile::GetValue(szKey, kSection, vecRecords, "");
}

// A number setting: the environment's value when it is a usable one, else the
// file's when that is; false when neither is.
bool NumberSetting(const CIniFile::RecordList& vecRecords, const char* szKey, const char* szEnv,
                   long nMin, long nMax, long& nValue) {
  std::string strValue;
  if (szEnv != nullptr && GetEnvVar(szEnv, strValue) &&
      ParseBounded(strValue, nMin, nMax, nValue)) {
    return true;
  }
  return ParseBounded(CIniFile::GetValue(szKey, kSection, vecRecords, ""), nMin, nMax, nValue);
}

std::string DefaultIniFile() {
  const std::string strDir = GetSettingsDir();
  return strDir.empty() ? std::string() : JoinPath(strDir, kSettingsFile);
}

}  // namespace

CCloudKeyConfig CK_LoadConfig(const std::string& strIniFile) {
  CCloudKeyConfig config;
  CIniFile::RecordList vecRecords;
  const std::string strFile = strIniFile.empty() ? DefaultIniFile() : strIniFile;
  if (!strFile.empty()) CIniFile::Load(strFile, vecRecords);  // missing: defaults

  config.strHost = Setting(vecRecords, "Host", "TOLVAN_CLOUD_HOST");
  config.strTrustAnchor = Setting(vecRecords, "TrustAnchor", "TOLVAN_CLOUD_TRUST_ANCHOR");
  config.strEnvelopeCert = Setting(vecRecords, "EnvelopeCert", "TOLVAN_CLOUD_ENVELOPE_CERT");
  long n = 0;
  if (NumberSetting(vecRecords, "Port", "TOLVAN_CLOUD_PORT", 1, 65535, n)) {
    config.nPort = static_cast<unsigned short>(n);
  }
  if (NumberSetting(vecRecords, "TimeoutMs", "TOLVAN_CLOUD_TIMEOUT_MS", 1, kMaxTimeoutMs, n)) {
    config.nTimeoutMs = n;
  }
  if (NumberSetting(vecRecords, "ConnectTimeoutMs", nullptr, 1, kMaxTimeoutMs, n)) {
    config.nConnectTimeoutMs = n;
  }
  // Connecting is part of the exchange: it never gets longer than the whole.
  if (config.nConnectTimeoutMs > config.nTimeoutMs) config.nConnectTimeoutMs = config.nTimeoutMs;
  if (NumberSetting(vecRecords, "KeyPool", "TOLVAN_CLOUD_KEY_POOL", 0, kMaxKeyPool, n)) {
    config.nKeyPool = static_cast<int>(n);
  }
  return config;
}

std::string CK_LoadEnvelopeCert(const CCloudKeyConfig& config) {
  if (config.strEnvelopeCert.empty()) return std::string();
  std::ifstream in(config.strEnvelopeCert, std::ios::binary | std::ios::ate);
  if (!in) return std::string();
  const std::streamoff nSize = in.tellg();
  if (nSize <= 0 || nSize > kMaxPemFile) return std::string();
  in.seekg(0);
  std::string strPem(static_cast<size_t>(nSize), '\0');
  if (!in.read(&strPem[0], nSize)) return std::string();
  return strPem;
}
