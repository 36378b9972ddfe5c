#pragma once

// The file-system seam under CMyFile: the few calls whose form differs between
// Windows and POSIX. FileSystem_win.cpp uses the Win32 calls, FileSystem_posix.cpp
// the POSIX ones. Paths are narrow strings in the system code page (bytes on
// POSIX). Every function reports failure as false and never throws.

#include <cstdint>
#include <string>
#include <vector>

// The separator this platform writes between a directory and a name: '\\' on
// Windows, '/' on POSIX.
extern const char g_cFsPathSep;

// True for a character that separates path components wherever both forms are
// accepted: '\\' and '/' on both platforms.
inline bool FsIsAnySeparator(char c) { return c == '\\' || c == '/'; }

// True for this platform's own separator ('\\' on Windows, '/' on POSIX); used
// where only the native form splits a path.
inline bool FsIsNativeSeparator(char c) { return c == g_cFsPathSep; }

// True for a byte that separates directories in a path the system is given:
// '\\' and '/' on Windows, only '/' on POSIX, where '\\' is a byte of a name.
inline bool FsIsSystemSeparator(char c) { return c == '/' || c == g_cFsPathSep; }

bool FsIsFile(const char* szPath);       // exists and is not a directory
bool FsIsDirectory(const char* szPath);  // exists and is a directory
bool FsCreateDirectory(const char* szPath);  // one level, default permissions

// Size of an existing regular file, opened for reading with reads shared.
bool FsGetFileSize64(const char* szPath, int64_t& nSize);
// The same for a file that others may hold open for writing or deleting (every
// kind of sharing allowed): what has been written to it so far.
bool FsPeekFileSize64(const char* szPath, int64_t& nSize);

// Total bytes and bytes free to the caller on the volume holding szPath. On
// POSIX any path works: a path that does not exist yet is measured at its
// nearest existing ancestor.
bool FsDiskSpace(const char* szPath, uint64_t& nTotal, uint64_t& nFree);

// One directory entry found by FsFindEntries.
struct FsEntry {
  std::string strName;       // name within the directory, no path
  bool bDirectory = false;   // a directory (a link to one counts, see bLink)
  bool bHidden = false;      // Windows: hidden attribute; POSIX: name starts with '.'
  bool bLink = false;        // a symbolic link (never descended into)
};

// Entries of szDir whose names match szMask ('*' and '?' wildcards; "*.*"
// matches every name), "." and ".." excluded, in the platform's enumeration
// order (POSIX: sorted by name). False when the directory cannot be read or
// nothing matches.
bool FsFindEntries(const char* szDir, const char* szMask, std::vector<FsEntry>& vEntries);

// A native file handle, closed by the destructor.
class CFsHandle {
 public:
  enum emOpen {
    // Existing file only, read and write, no sharing (Windows).
    OpenExistingExclusive,
    // Open when it exists, create it otherwise; read and write, reads and
    // writes shared.
    OpenAlwaysShared,
  };

  CFsHandle() = default;
  ~CFsHandle() { Close(); }
  CFsHandle(const CFsHandle&) = delete;
  CFsHandle& operator=(const CFsHandle&) = delete;

  bool Open(const char* szPath, emOpen eMode);
  bool IsOpen() const { return m_nHandle != kInvalid; }
  // Moves the end of file to nSize (grows, sparsely where the file system
  // can, or truncates). False for a negative size.
  bool SetSize(int64_t nSize);
  // Moves the file pointer to the start of the file.
  bool Rewind();
  // Writes all nSize bytes at the file pointer; false on any shortfall.
  bool Write(const void* pData, unsigned nSize);
  void Close();

 private:
  static constexpr intptr_t kInvalid = -1;
  intptr_t m_nHandle = kInvalid;  // file descriptor or HANDLE
};
