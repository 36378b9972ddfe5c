#include "base/files/FileSystem.h"

#include <windows.h>

#include <cstring>

const char g_cFsPathSep = '\\';

namespace {

HANDLE AsHandle(intptr_t n) { return reinterpret_cast<HANDLE>(n); }

DWORD Attributes(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0') return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesA(szPath);
}

}  // namespace

bool FsIsFile(const char* szPath) {
  DWORD a = Attributes(szPath);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FsIsDirectory(const char* szPath) {
  DWORD a = Attributes(szPath);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FsCreateDirectory(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  return ::CreateDirectoryA(szPath, nullptr) != FALSE;
}

namespace {

bool SizeOfFile(const char* szPath, DWORD dwShare, int64_t& nSize) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  HANDLE h = ::CreateFileA(szPath, GENERIC_READ, dwShare, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER li;
  bool bOk = ::GetFileSizeEx(h, &li) != FALSE;
  if (bOk) nSize = li.QuadPart;
  ::CloseHandle(h);
  return bOk;
}

}  // namespace

bool FsGetFileSize64(const char* szPath, int64_t& nSize) {
  return SizeOfFile(szPath, FILE_SHARE_READ, nSize);
}

bool FsPeekFileSize64(const char* szPath, int64_t& nSize) {
  return SizeOfFile(szPath, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nSize);
}

bool FsDiskSpace(const char* szPath, uint64_t& nTotal, uint64_t& nFree) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  char szFull[2048];
  DWORD n = ::GetFullPathNameA(szPath, sizeof(szFull), szFull, nullptr);
  if (n == 0 || n >= sizeof(szFull)) return false;
  // The volume's root works for drive letters and network shares alike.
  char szRoot[2048];
  if (!::GetVolumePathNameA(szFull, szRoot, sizeof(szRoot))) return false;
  ULARGE_INTEGER freeToCaller, total, totalFree;
  if (!::GetDiskFreeSpaceExA(szRoot, &freeToCaller, &total, &totalFree)) return false;
  nTotal = total.QuadPart;
  nFree = freeToCaller.QuadPart;
  return true;
}

bool FsFindEntries(const char* szDir, const char* szMask, std::vector<FsEntry>& vEntries) {
  if (szDir == nullptr || szMask == nullptr) return false;
  std::string strPattern = szDir;
  if (!strPattern.empty() && !FsIsAnySeparator(strPattern.back())) strPattern += '\\';
  strPattern += szMask;
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA(strPattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool bAny = false;
  do {
    if (std::strcmp(fd.cFileName, ".") == 0 || std::strcmp(fd.cFileName, "..") == 0) continue;
    FsEntry e;
    e.strName = fd.cFileName;
    e.bDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.bHidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    e.bLink = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    vEntries.push_back(std::move(e));
    bAny = true;
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  return bAny;
}

bool CFsHandle::Open(const char* szPath, emOpen eMode) {
  Close();
  if (szPath == nullptr || szPath[0] == '\0') return false;
  DWORD dwShare = eMode == OpenAlwaysShared ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : 0;
  DWORD dwDisposition = eMode == OpenAlwaysShared ? OPEN_ALWAYS : OPEN_EXISTING;
  HANDLE h = ::CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE, dwShare, nullptr, dwDisposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  m_nHandle = reinterpret_cast<intptr_t>(h);
  return true;
}

bool CFsHandle::SetSize(int64_t nSize) {
  if (!IsOpen() || nSize < 0) return false;
  LARGE_INTEGER li;
  li.QuadPart = nSize;
  if (!::SetFilePointerEx(AsHandle(m_nHandle), li, nullptr, FILE_BEGIN)) return false;
  return ::SetEndOfFile(AsHandle(m_nHandle)) != FALSE;
}

bool CFsHandle::Rewind() {
  if (!IsOpen()) return false;
  LARGE_INTEGER li;
  li.QuadPart = 0;
  return ::SetFilePointerEx(AsHandle(m_nHandle), li, nullptr, FILE_BEGIN) != FALSE;
}

bool CFsHandle::Write(const void* pData, unsigned nSize) {
  if (!IsOpen() || (pData == nullptr && nSize != 0)) return false;
  const char* p = static_cast<const char*>(pData);
  DWORD dwLeft = nSize;
  while (dwLeft > 0) {
    DWORD dwDone = 0;
    if (!::WriteFile(AsHandle(m_nHandle), p, dwLeft, &dwDone, nullptr) || dwDone == 0) return false;
    p += dwDone;
    dwLeft -= dwDone;
  }
  return true;
}

void CFsHandle::Close() {
  if (IsOpen()) {
    ::CloseHandle(AsHandle(m_nHandle));
    m_nHandle = kInvalid;
  }
}
