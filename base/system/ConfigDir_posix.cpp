#include "base/system/ConfigDir.h"

#include "base/system/Process.h"

namespace {

std::string EnvValue(const char* szName) {
  std::string strValue;
  return GetEnvVar(szName, strValue) ? strValue : std::string();
}

std::string WithoutTrailingSlash(std::string strDir) {
  while (strDir.size() > 1 && strDir.back() == '/') strDir.pop_back();
  return strDir;
}

// "Tolvan" in the XDG base directory named by szVar, or in szUnderHome
// inside $HOME when that variable is unset, empty or relative.
std::string XdgDir(const char* szVar, const char* szUnderHome) {
  std::string strDir = EnvValue(szVar);
  // XDG asks for an absolute path; a relative one is ignored like an unset one.
  if (!strDir.empty() && strDir[0] == '/') return WithoutTrailingSlash(strDir) + "/Tolvan";
  strDir = EnvValue("HOME");
  if (strDir.empty()) strDir = ".";
  return WithoutTrailingSlash(strDir) + szUnderHome;
}

}  // namespace

std::string GetConfigDir() {
  const std::string strDir = EnvValue("TOLVAN_CONFIG_DIR");
  if (!strDir.empty()) return WithoutTrailingSlash(strDir);
  return XdgDir("XDG_CONFIG_HOME", "/.config/Tolvan");
}

std::string GetStateHomeDir() { return XdgDir("XDG_STATE_HOME", "/.local/state/Tolvan"); }
