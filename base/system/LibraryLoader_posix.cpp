#include "base/system/LibraryLoader.h"

#include <dlfcn.h>

CLibraryLoader::~CLibraryLoader() { Close(); }

bool CLibraryLoader::Open(const std::string& strPath) {
  Close();
  m_strError.clear();
  // RTLD_LOCAL keeps the library's symbols out of the global namespace, so a
  // second library of the same interface cannot bind to the first one.
  m_pHandle = ::dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_pHandle == nullptr) {
    const char* szErr = ::dlerror();
    m_strError = szErr != nullptr ? szErr : "dlopen failed";
    return false;
  }
  return true;
}

void CLibraryLoader::Close() {
  if (m_pHandle != nullptr) {
    ::dlclose(m_pHandle);
    m_pHandle = nullptr;
  }
}

void* CLibraryLoader::Symbol(const char* szName) const {
  if (m_pHandle == nullptr || szName == nullptr) return nullptr;
  return ::dlsym(m_pHandle, szName);
}

std::string CLibraryLoader::FileName(const char* szBase) {
  return std::string("lib") + (szBase != nullptr ? szBase : "") + ".so";
}
