#include "agent/AgentSettings.h"

#include <clocale>

#include "base/ini/IniFile.h"
#include "base/logging/ProcessLog.h"
#include "base/search/DecimalText.h"
#include "base/system/ExePath.h"

namespace {

const char kSettingsFile[] = "TolvanService.ini";
const char kSettingsSection[] = "Config";
constexpr int kLogKeptDays = 7;

}  // namespace

CServerSettings ReadAgentSettings(const std::string& strSettingsDir) {
  std::setlocale(LC_CTYPE, "");

  CIniFile::RecordList vecRecords;
  CIniFile::Load(JoinPath(strSettingsDir, kSettingsFile), vecRecords);  // missing: defaults
  CServerSettings settings;
  settings.m_strIP = CIniFile::GetValue("IP", kSettingsSection, vecRecords, "127.0.0.1");
  settings.m_nPort = static_cast<uint16_t>(
      ParseDecimal(CIniFile::GetValue("Port", kSettingsSection, vecRecords, "8888")));
  settings.m_nDebugLevel =
      ParseDecimal(CIniFile::GetValue("DebugLevel", kSettingsSection, vecRecords, "4"));
  // No value lifts the bound: a log that a page can fill must not fill the disk.
  const int nLogMaxMB =
      ParseDecimal(CIniFile::GetValue("LogMaxMB", kSettingsSection, vecRecords, ""));
  if (nLogMaxMB > 0) settings.m_nLogMaxMB = nLogMaxMB;
  settings.m_strAllowedOrigins =
      CIniFile::GetValue("AllowedOrigins", kSettingsSection, vecRecords, "");
  return settings;
}

void ConfigureProcessLog(const std::string& strStateDir, int nLevel, int nLogMaxMB) {
  g_ProcessLog.SetFilePath(JoinPath(strStateDir, "Log").c_str());
  g_ProcessLog.SetPreFileName("Tolvan");
  g_ProcessLog.SetExtFileName("log");
  g_ProcessLog.SetOutFlag(emLogFile);
  g_ProcessLog.SetReservedDays(kLogKeptDays);
  g_ProcessLog.SetLogLevel(static_cast<unsigned>(nLevel));
  g_ProcessLog.SetMaxDirSize(static_cast<int64_t>(nLogMaxMB) << 20);
}
