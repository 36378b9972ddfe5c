#pragma once

// Where the agent keeps the files the system puts "beside the executable":
// the settings file "TolvanService.ini", the cloud key's "Cloud_Key.ini" and
// the "Log" directory.
//
// When the user may write to the executable's directory (a build tree, a
// per-user install) everything stays there. When not (a package installed by
// root), settings are read from the configuration directory (GetConfigDir:
// $XDG_CONFIG_HOME/Tolvan) and state and logs go to the state directory
// (GetStateHomeDir: $XDG_STATE_HOME/Tolvan), which is created, open to the
// user only, when missing. An executable directory that cannot be read counts
// as not writable. Files the agent loads as install data (the card library)
// stay in the executable's directory whatever this says.

#include <string>

// True when the calling user may create files in strDir. POSIX: access(W_OK);
// Windows: a probe file is created there and removed.
bool IsDirWritable(const std::string& strDir);

// Creates strDir and every missing parent, each open to its owner only
// (0700 on POSIX; the user's default rights on Windows). True when strDir is
// a directory afterwards. An existing directory is left as it is.
bool MakePrivateDirectory(const std::string& strDir);

// The two directories for an executable in strExeDir.
struct CAppDirs {
  std::string m_strSettingsDir;  // "TolvanService.ini"
  std::string m_strStateDir;     // "Cloud_Key.ini", "Log"
};

// The rule alone: strExeDir for both when bExeDirWritable, else the
// configuration and state directories. Creates nothing.
CAppDirs AppDirsFor(const std::string& strExeDir, bool bExeDirWritable);

// The settings directory of a program in strExeDir.
std::string SettingsDirFor(const std::string& strExeDir);
// The state directory of a program in strExeDir, created when it is the
// per-user one and missing.
std::string StateDirFor(const std::string& strExeDir);

// The same for the running executable (GetExeDir).
std::string GetSettingsDir();
std::string GetStateDir();
