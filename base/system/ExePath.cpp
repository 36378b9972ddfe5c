#include "base/system/ExePath.h"

#include <cstring>
#include <vector>

namespace {

// Longest full file name asked for; longer ones are read as unknown.
constexpr int kMaxExePath = 4096;

}  // namespace

std::string PathDirectory(const std::string& strPath) {
  const size_t nSep = FindLastPathSeparator(strPath);
  return nSep == std::string::npos ? std::string() : strPath.substr(0, nSep);
}

std::string GetExeDir() {
  std::vector<char> vPath(kMaxExePath, '\0');
  if (!GetExePath(vPath.data(), kMaxExePath)) return std::string();
  return PathDirectory(vPath.data());
}

bool GetAppPath(char* szBuffer, int nSize) {
  if (!GetExePath(szBuffer, nSize)) return false;
  const size_t nSep = FindLastPathSeparator(szBuffer);
  if (nSep == std::string::npos) {
    // A full file name always has a directory part; without one there is no
    // directory to give.
    szBuffer[0] = '\0';
    return false;
  }
  szBuffer[nSep] = '\0';
  return true;
}

std::string JoinPath(const std::string& strDir, const std::string& strName) {
  if (strDir.empty()) return strName;
  const size_t nSep = FindLastPathSeparator(strDir);
  if (nSep != std::string::npos && nSep + 1 == strDir.size()) return strDir + strName;
  return strDir + GetExePathSeparator() + strName;
}
