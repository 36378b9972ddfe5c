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

}  // namespace

std::string GetConfigDir() {
  std::string strDir = EnvValue("TOLVAN_CONFIG_DIR");
  if (!strDir.empty()) return WithoutTrailingSlash(strDir);
  strDir = EnvValue("XDG_CONFIG_HOME");
  // XDG asks for an absolute path; a relative one is ignored like an unset one.
  if (!strDir.empty() && strDir[0] == '/') return WithoutTrailingSlash(strDir) + "/Tolvan";
  strDir = EnvValue("HOME");
  if (strDir.empty()) strDir = ".";
  return WithoutTrailingSlash(strDir) + "/.config/Tolvan";
}
