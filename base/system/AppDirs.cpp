#include "base/system/AppDirs.h"

#include "base/system/ConfigDir.h"
#include "base/system/ExePath.h"

CAppDirs AppDirsFor(const std::string& strExeDir, bool bExeDirWritable) {
  CAppDirs dirs;
  if (bExeDirWritable) {
    dirs.m_strSettingsDir = strExeDir;
    dirs.m_strStateDir = strExeDir;
  } else {
    dirs.m_strSettingsDir = GetConfigDir();
    dirs.m_strStateDir = GetStateHomeDir();
  }
  return dirs;
}

std::string SettingsDirFor(const std::string& strExeDir) {
  return AppDirsFor(strExeDir, IsDirWritable(strExeDir)).m_strSettingsDir;
}

std::string StateDirFor(const std::string& strExeDir) {
  if (IsDirWritable(strExeDir)) return strExeDir;
  const std::string strDir = AppDirsFor(strExeDir, false).m_strStateDir;
  // Not made: the caller's open fails and says so, as for any unwritable path.
  MakePrivateDirectory(strDir);
  return strDir;
}

std::string GetSettingsDir() { return SettingsDirFor(GetExeDir()); }

std::string GetStateDir() { return StateDirFor(GetExeDir()); }
