#pragma once

#include <string>

// A shared library opened at run time (dlopen / LoadLibraryA), closed when the
// object goes. Symbols are looked up by name; a null result means absent.
class CLibraryLoader {
 public:
  CLibraryLoader() = default;
  ~CLibraryLoader();
  CLibraryLoader(const CLibraryLoader&) = delete;
  CLibraryLoader& operator=(const CLibraryLoader&) = delete;

  // Opens the library at the full path strPath, closing any library this
  // object held. False when it cannot be opened; LastError() then says why.
  bool Open(const std::string& strPath);
  void Close();
  bool IsOpen() const { return m_pHandle != nullptr; }

  // The exported symbol's address, or null when the library is not open or
  // does not export the name.
  void* Symbol(const char* szName) const;

  // The system's text for the last failed Open.
  const std::string& LastError() const { return m_strError; }

  // File name of a library with the base name szBase on this platform:
  // "lib<base>.so" on POSIX, "<base>.dll" on Windows.
  static std::string FileName(const char* szBase);


 private:
  void* m_pHandle = nullptr;
  std::string m_strError;
};
