#include "card/ConfigDir.h"

#include <windows.h>

namespace {

std::string EnvValue(const char* szName) {
  char szValue[MAX_PATH + 1];
  DWORD dwLen = ::GetEnvironmentVariableA(szName, szValue, sizeof(szValue));
  if (dwLen == 0 || dwLen >= sizeof(szValue)) return std::string();
  return std::string(szValue, dwLen);
}

}  // namespace

std::string GetConfigDir() {
  std::string strDir = EnvValue("TOLVAN_CONFIG_DIR");
  if (strDir.empty()) return "C:\\Config";
  while (strDir.size() > 3 && (strDir.back() == '\\' || strDir.back() == '/')) strDir.pop_back();
  return strDir;
}

std::string GetConfigFilePath(const char* szFile) {
  std::string strDir = GetConfigDir();
  if (!strDir.empty() && strDir.back() != '\\' && strDir.back() != '/') strDir += '\\';
  return strDir + (szFile != nullptr ? szFile : "");
}
