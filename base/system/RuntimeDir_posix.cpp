#include "base/system/RuntimeDir_posix.h"

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsPrivateDir(const std::string& strDir) {
  struct stat st;
  if (::lstat(strDir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::string RuntimeDirectory() {
  std::string strDir;
  const char* szRuntime = std::getenv("XDG_RUNTIME_DIR");
  if (szRuntime != nullptr && szRuntime[0] == '/') {
    strDir = std::string(szRuntime) + "/tolvan";
  } else {
    strDir = "/tmp/tolvan-" + std::to_string(static_cast<unsigned long>(::getuid()));
  }
  if (::mkdir(strDir.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
  if (!IsPrivateDir(strDir)) return std::string();
  return strDir;
}

std::string RuntimeFileName(const char* szName, const char* szSuffix) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string strFile;
  for (const char* p = szName; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    bool bSafe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-';
    if (bSafe) {
      strFile += static_cast<char>(c);
    } else {
      strFile += '%';
      strFile += kHex[c >> 4];
      strFile += kHex[c & 0x0F];
    }
  }
  strFile += szSuffix;
  return strFile;
}
