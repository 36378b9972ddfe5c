#include "base/system/AppDirs.h"

#include <windows.h>

namespace {

bool IsDirectory(const std::string& strPath) {
  const DWORD dwAttr = GetFileAttributesA(strPath.c_str());
  return dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool IsDirWritable(const std::string& strDir) {
  // The read-only attribute says nothing about a directory's access rights:
  // only creating a file there tells. GetTempFileNameA makes a unique one.
  if (strDir.empty() || !IsDirectory(strDir)) return false;
  char szProbe[MAX_PATH];
  if (GetTempFileNameA(strDir.c_str(), "tlv", 0, szProbe) == 0) return false;
  DeleteFileA(szProbe);
  return true;
}

bool MakePrivateDirectory(const std::string& strDir) {
  if (strDir.empty()) return false;
  if (IsDirectory(strDir)) return true;
  // Each level from the top down; a drive ("C:") and the ones that exist are
  // passed over.
  for (size_t nSep = strDir.find_first_of("\\/", 1);;
       nSep = strDir.find_first_of("\\/", nSep + 1)) {
    const std::string strLevel = strDir.substr(0, nSep);
    if (!strLevel.empty() && strLevel.back() != ':' && strLevel.back() != '\\' &&
        strLevel.back() != '/' && !CreateDirectoryA(strLevel.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
    if (nSep == std::string::npos) break;
  }
  return IsDirectory(strDir);
}
