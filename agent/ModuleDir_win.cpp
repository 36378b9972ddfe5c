#include "agent/ModuleDir.h"

#include <mbstring.h>

std::string ModuleDirectory(const std::string& strPath) {
  const unsigned char* pStart = reinterpret_cast<const unsigned char*>(strPath.c_str());
  const unsigned char* pSep = ::_mbsrchr(pStart, '\\');
  if (pSep == nullptr) return std::string();
  return strPath.substr(0, static_cast<size_t>(pSep - pStart));
}

char ModulePathSeparator() { return '\\'; }
