#include "cloud/CloudState.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/ini/IniFile.h"
#include "base/search/DecimalText.h"
#include "base/system/AppDirs.h"
#include "base/system/ConfigDir.h"
#include "base/system/ExePath.h"
#include "cloud/CloudResult.h"
#include "libs/cloudkey/CloudKey.h"

namespace {

const char kStateFile[] = "Cloud_Key.ini";
const char kSection[] = "AuthCode";
const char kKeyCode[] = "AuthCode";
const char kKeyTimeOut[] = "TimeOut";
const char kKeySerial[] = "CertSN";
const char kQrImage[] = "qrcode.png";

// Cloud operations run on several connection threads at once: each read or
// change of the file is one step under this lock, so that no thread reads a
// half-written file or loses another's change.
std::mutex s_mutexState;
std::mutex s_mutexSettings;
std::string s_strStateDir;
CloudClock s_pfnClock = nullptr;

int64_t SystemNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The expiry as written: decimal digits of a 64-bit value (a 32-bit one, as
// written before, reads the same). Anything else reads as 0, expired.
int64_t ExpiryOf(const std::string& strText) {
  uint64_t nValue = 0;
  if (!ParseDecimalDigits(strText, nValue) || nValue > static_cast<uint64_t>(INT64_MAX)) return 0;
  return static_cast<int64_t>(nValue);
}

void CopyValue(const std::string& strValue, char* szOut) {
  if (szOut == nullptr) return;
  szOut[0] = '\0';
  if (strValue.size() < CLOUD_STATE_BUFFER) std::memcpy(szOut, strValue.c_str(), strValue.size() + 1);
}

}  // namespace

void SetCloudStateDir(const std::string& strDir) {
  std::lock_guard<std::mutex> lock(s_mutexSettings);
  s_strStateDir = strDir;
}

void SetCloudClock(CloudClock pfnClock) {
  std::lock_guard<std::mutex> lock(s_mutexSettings);
  s_pfnClock = pfnClock;
}

int64_t CloudNow() {
  CloudClock pfnClock = nullptr;
  {
    std::lock_guard<std::mutex> lock(s_mutexSettings);
    pfnClock = s_pfnClock;
  }
  return pfnClock != nullptr ? pfnClock() : SystemNow();
}

std::string CloudStateFilePath() {
  std::string strDir;
  {
    std::lock_guard<std::mutex> lock(s_mutexSettings);
    strDir = s_strStateDir;
  }
  if (strDir.empty()) strDir = GetStateDir();
  return strDir.empty() ? std::string() : JoinPath(strDir, kStateFile);
}

std::string CloudQrImagePath() { return GetConfigFilePath(kQrImage); }

void cloudSaveState(const char* szAuthCode, const char* szCertSN) {
  const std::string strFile = CloudStateFilePath();
  if (strFile.empty()) return;
  std::lock_guard<std::mutex> lock(s_mutexState);
  CIniFile::RecordList vecRecords;
  CIniFile::Load(strFile, vecRecords);  // missing: a new file
  if (szAuthCode != nullptr) {
    CIniFile::SetValue(kKeyCode, szAuthCode, kSection, vecRecords);
    CIniFile::SetValue(kKeyTimeOut, std::to_string(CloudNow() + CLOUD_CODE_LIFETIME_S), kSection,
                       vecRecords);
  }
  if (szCertSN != nullptr) CIniFile::SetValue(kKeySerial, szCertSN, kSection, vecRecords);
  CIniFile::Save(strFile, vecRecords);
}

bool cloudLoadState(char* szAuthCode, char* szCertSN) {
  const std::string strFile = CloudStateFilePath();
  CIniFile::RecordList vecRecords;
  {
    std::lock_guard<std::mutex> lock(s_mutexState);
    if (!strFile.empty()) CIniFile::Load(strFile, vecRecords);  // missing: empty values
  }
  CopyValue(CIniFile::GetValue(kKeyCode, kSection, vecRecords, ""), szAuthCode);
  CopyValue(CIniFile::GetValue(kKeySerial, kSection, vecRecords, ""), szCertSN);
  const int64_t nTimeOut = ExpiryOf(CIniFile::GetValue(kKeyTimeOut, kSection, vecRecords, "0"));
  return CloudNow() <= nTimeOut - CLOUD_CODE_MARGIN_S;
}

int cloudEnd() {
  PkiHandler pki;
  std::remove(CloudQrImagePath().c_str());  // a missing image is no error
  char szSerial[CLOUD_STATE_BUFFER] = {0};
  cloudLoadState(nullptr, szSerial);
  if (szSerial[0] != '\0' && pki.UnInstallCertBySN(static_cast<int>(CK_STORE_MY), szSerial) != 0) {
    return CLOUD_END_FAILED;
  }
  const std::string strFile = CloudStateFilePath();
  std::lock_guard<std::mutex> lock(s_mutexState);
  if (!strFile.empty()) std::remove(strFile.c_str());
  return CLOUD_OK;
}
