#include "libs/pkicard/LibraryDir.h"

#include <dlfcn.h>

std::string GetLibraryDir() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&GetLibraryDir), &info) == 0 || info.dli_fname == nullptr) {
    return std::string();
  }
  std::string strPath(info.dli_fname);
  const std::string::size_type nSlash = strPath.rfind('/');
  if (nSlash == std::string::npos) return std::string();
  return strPath.substr(0, nSlash + 1);
}
