#include "base/system/ConfigDir.h"

#include "base/system/Process.h"

std::string GetConfigDir() {
  std::string strDir;
  if (!GetEnvVar("TOLVAN_CONFIG_DIR", strDir) || strDir.empty()) return "C:\\Config";
  while (strDir.size() > 3 && (strDir.back() == '\\' || strDir.back() == '/')) strDir.pop_back();
  return strDir;
}
