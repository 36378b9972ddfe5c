#include "base/system/ConfigDir.h"

#include "base/system/Process.h"

namespace {

// The variable's value without trailing separators (a drive root keeps its
// own); empty when it is unset or empty.
std::string EnvDir(const char* szName) {
  std::string strDir;
  if (!GetEnvVar(szName, strDir)) return std::string();
  while (strDir.size() > 3 && (strDir.back() == '\\' || strDir.back() == '/')) strDir.pop_back();
  return strDir;
}

}  // namespace

std::string GetConfigDir() {
  const std::string strDir = EnvDir("TOLVAN_CONFIG_DIR");
  return strDir.empty() ? std::string("C:\\Config") : strDir;
}

std::string GetStateHomeDir() {
  const std::string strDir = EnvDir("LOCALAPPDATA");
  return strDir.empty() ? GetConfigDir() : strDir + "\\Tolvan";
}
