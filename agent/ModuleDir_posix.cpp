#include "agent/ModuleDir.h"

std::string ModuleDirectory(const std::string& strPath) {
  size_t nSep = strPath.rfind('/');
  return nSep == std::string::npos ? std::string() : strPath.substr(0, nSep);
}

char ModulePathSeparator() { return '/'; }
