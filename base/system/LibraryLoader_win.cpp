#include "base/system/LibraryLoader.h"

#include <windows.h>

#include <cstdio>

CLibraryLoader::~CLibraryLoader() { Close(); }

bool CLibraryLoader::Open(const std::string& strPath) {
  Close();
  m_strError.clear();
  // Full path and the altered search order: the library's own dependencies
  // are looked for beside it, not in the current directory first.
  HMODULE hModule = ::LoadLibraryExA(strPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (hModule == nullptr) {
    char szErr[64];
    std::snprintf(szErr, sizeof(szErr), "LoadLibrary failed, error %lu",
                  static_cast<unsigned long>(::GetLastError()));
    m_strError = szErr;
    return false;
  }
  m_pHandle = reinterpret_cast<void*>(hModule);
  return true;
}

void CLibraryLoader::Close() {
  if (m_pHandle != nullptr) {
    ::FreeLibrary(reinterpret_cast<HMODULE>(m_pHandle));
    m_pHandle = nullptr;
  }
}

void* CLibraryLoader::Symbol(const char* szName) const {
  if (m_pHandle == nullptr || szName == nullptr) return nullptr;
  FARPROC pProc = ::GetProcAddress(reinterpret_cast<HMODULE>(m_pHandle), szName);
  return reinterpret_cast<void*>(pProc);
}

std::string CLibraryLoader::FileName(const char* szBase) {
  return std::string(szBase != nullptr ? szBase : "") + ".dll";
}
