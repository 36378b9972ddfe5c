#include "base/system/AppDirs.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsDirectory(const std::string& strPath) {
  struct stat st {};
  return ::stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool IsDirWritable(const std::string& strDir) {
  return !strDir.empty() && IsDirectory(strDir) && ::access(strDir.c_str(), W_OK) == 0;
}

bool MakePrivateDirectory(const std::string& strDir) {
  if (strDir.empty()) return false;
  if (IsDirectory(strDir)) return true;
  // Each level from the top down; the ones that exist are passed over.
  for (size_t nSep = strDir.find('/', 1);; nSep = strDir.find('/', nSep + 1)) {
    const std::string strLevel = strDir.substr(0, nSep);
    if (!strLevel.empty() && strLevel.back() != '/' && ::mkdir(strLevel.c_str(), 0700) != 0 &&
        !IsDirectory(strLevel)) {
      return false;
    }
    if (nSep == std::string::npos) break;
  }
  return IsDirectory(strDir);
}
