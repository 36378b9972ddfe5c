#pragma once

// CMyFile: static file-system utilities, and per instance one file held open
// through a standard file stream, addressed by a directory and a file name.
// The log writers (base/logging) derive from it.
//
// Paths are narrow strings in the system code page. Separators: where a path is
// split (ExtractFileDir, ExtractFileName), both '\\' and '/' are recognised on
// both platforms; MakeDirectory splits where the system does ('\\' and '/' on
// Windows, '/' on POSIX); SetFullName, SetFilePath
// and FindAllFiles recognise only the platform's own separator ('\\' on
// Windows, '/' on POSIX). Every path this class writes uses the platform's own
// separator.
//
// Bounds: a directory or a file name holds at most 255 characters. A longer one
// is refused: the stored value stays as it was. Destinations of GetFilePath and
// GetFileName must hold 256 characters, of GetFullName 512.
//
// Nothing here throws or logs; failure is a false result.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "base/files/MyFileException.h"

class CMyFile {
 public:
  // Open-mode bits of OpenFile.
  enum : int {
    kModeIn = 1,
    kModeOut = 2,
    kModeAte = 4,
    kModeApp = 8,
    kModeTrunc = 16,
    kModeBinary = 32,
  };
  static constexpr unsigned kMaxPath = 256;      // directory and name fields
  static constexpr unsigned kMaxFullName = 512;  // directory, separator and name

  // ---- static utilities ----
  static bool FileIsExist(const char* szPath);
  static bool DirIsExist(const char* szPath);
  // Creates the directory and every missing parent; failures are not reported.
  static void MakeDirectory(const char* szPath);
  static bool GetFileSize(const char* szPath, unsigned& nSize);  // low 32 bits
  static bool GetFileSize64(const char* szPath, int64_t& nSize);
  static bool SetFileSize(const char* szPath, unsigned nSize);
  // Grows (sparsely where the file system can) or truncates an existing file.
  static bool SetFileSize64(const char* szPath, int64_t nSize);
  static bool CreateCertainSizeFile(const char* szPath, unsigned nSize, bool bFill);
  static bool CreateCertainSizeFile64(const char* szPath, int64_t nSize, bool bFill);
  // Copies szSource into szDest (created or emptied). True when both files
  // opened, whatever the writes did.
  static bool BackUpFile(const char* szSource, const char* szDest);
  static bool IsSameContent(const char* szFirst, const char* szSecond);
  static bool RemoveFile(const char* szPath);
  static bool ChangeFileName(const char* szOld, const char* szNew);
  // Size of the volume holding szPath and the space free to the caller, in MiB.
  static bool QueryDiskSpaceMB(const char* szPath, unsigned& nTotalMB, unsigned& nFreeMB);
  // Appends the paths of files in szDir matching szMask to vFiles (see MyFile.cpp).
  static void FindAllFiles(const char* szDir, const char* szMask, std::vector<std::string>& vFiles,
                           bool bRecursive, bool bIncludeHidden);
  // Cuts szPath in place at its last separator ('\\' or '/') and returns it.
  static char* ExtractFileDir(char* szPath);
  // Copies what precedes the last separator (all of szPath without one);
  // szDest must be as large as szPath.
  static void ExtractFileDir(const char* szPath, char* szDest);
  // What follows the last separator ('\\' or '/'); szPath itself without one.
  static char* ExtractFileName(char* szPath);
  static const char* ExtractFileName(const char* szPath);
  static void ExtractFileName(const char* szPath, char* szDest);

  // ---- instance ----
  CMyFile();
  explicit CMyFile(const char* szFullName);
  virtual ~CMyFile();
  CMyFile(const CMyFile&) = delete;
  CMyFile& operator=(const CMyFile&) = delete;

  // Non-empty: stored without one trailing separator and created at once.
  // Empty or null: the running executable's directory, or the user's state
  // directory when the executable's is not writable (base/system/AppDirs.h).
  void SetFilePath(const char* szDir);
  void GetFilePath(char* szDest) const;
  virtual void SetFileName(const char* szName);
  virtual void GetFileName(char* szDest);
  // Splits at the last native separator; none, or only a leading one: empty
  // directory, the whole text is the name. Creates no directory.
  virtual void SetFullName(const char* szFullName);
  virtual void GetFullName(char* szDest);

  bool OpenFile(int nMode);
  void CloseFile();
  bool IsFileOpen() const;
  bool Eof() const;
  void Flush();

  bool GetFileReadPtrPos(unsigned& nPos);
  bool GetFileWritePtrPos(unsigned& nPos);
  bool SetFileReadPtrPos(unsigned nPos);
  bool SetFileWritePtrPos(unsigned nPos);
  bool MoveReadPtrFromCur(int nOffset);
  bool MoveWritePtrFromCur(int nOffset);
  bool GetFileSize(unsigned& nSize);
  // Full 64-bit size of the file, open or not (as GetFileSize otherwise).
  bool GetFileSize64(int64_t& nSize);
  bool ReadFromFile(unsigned char* pBuffer, unsigned nSize, unsigned& nRead);
  bool GetLineFromFile(char* szBuffer, unsigned nSize, unsigned& nRead);
  bool GetLineFromFile(std::string& strLine);
  bool WriteToFile(const unsigned char* pData, unsigned nSize);

 protected:
  // Closes the file if open; an empty name becomes "tempfile~".
  virtual void OpenInit();
  // Stream rule: clears a failed or bad state and reports whether it was one.
  bool ClearFailure();

  char m_szFilePath[kMaxPath];
  char m_szFileName[kMaxPath];
  std::fstream m_file;
};
