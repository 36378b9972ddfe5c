#include "libs/pkicard/LibraryDir.h"

#include <windows.h>

#include <vector>

std::string GetLibraryDir() {
  HMODULE hModule = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&GetLibraryDir), &hModule)) {
    return std::string();
  }
  // The wide name: a backslash found in it is a separator, never the trail
  // byte of a double-byte character.
  std::vector<wchar_t> name(32768);
  const DWORD nLen = ::GetModuleFileNameW(hModule, name.data(), static_cast<DWORD>(name.size()));
  if (nLen == 0 || nLen >= name.size()) return std::string();
  std::wstring strPath(name.data(), nLen);
  const std::wstring::size_type nSlash = strPath.find_last_of(L"\\/");
  if (nSlash == std::wstring::npos) return std::string();
  strPath.resize(nSlash + 1);
  const int nBytes = ::WideCharToMultiByte(CP_ACP, 0, strPath.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (nBytes <= 1) return std::string();
  std::string strDir(static_cast<size_t>(nBytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, strPath.c_str(), -1, &strDir[0], nBytes, nullptr, nullptr);
  strDir.resize(static_cast<size_t>(nBytes - 1));
  return strDir;
}
