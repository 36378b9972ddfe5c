#include "base/files/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

const char g_cFsPathSep = '/';

namespace {

bool StatPath(const char* szPath, struct stat& st) {
  return szPath != nullptr && szPath[0] != '\0' && ::stat(szPath, &st) == 0;
}

// Retries a call that was interrupted by a signal.
template <typename F>
auto NoEintr(F fn) -> decltype(fn()) {
  decltype(fn()) r;
  do {
    r = fn();
  } while (r == -1 && errno == EINTR);
  return r;
}

}  // namespace

bool FsIsFile(const char* szPath) {
  struct stat st;
  return StatPath(szPath, st) && !S_ISDIR(st.st_mode);
}

bool FsIsDirectory(const char* szPath) {
  struct stat st;
  return StatPath(szPath, st) && S_ISDIR(st.st_mode);
}

bool FsCreateDirectory(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  return ::mkdir(szPath, 0777) == 0;
}

bool FsGetFileSize64(const char* szPath, int64_t& nSize) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  int fd = NoEintr([&] { return ::open(szPath, O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return false;
  struct stat st;
  bool bOk = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  if (bOk) nSize = static_cast<int64_t>(st.st_size);
  ::close(fd);
  return bOk;
}

bool FsPeekFileSize64(const char* szPath, int64_t& nSize) { return FsGetFileSize64(szPath, nSize); }

bool FsDiskSpace(const char* szPath, uint64_t& nTotal, uint64_t& nFree) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  // A path that does not exist (yet) is measured where it would be created:
  // walk up to the nearest existing ancestor.
  std::string strPath(szPath);
  struct statvfs sv;
  for (;;) {
    if (::statvfs(strPath.c_str(), &sv) == 0) break;
    if (errno != ENOENT && errno != ENOTDIR) return false;
    size_t nPos = strPath.find_last_of('/');
    while (nPos != std::string::npos && nPos > 0 && strPath[nPos - 1] == '/') --nPos;
    if (nPos == std::string::npos) {
      strPath = ".";
    } else if (nPos == 0) {
      strPath = "/";
    } else {
      strPath.resize(nPos);
    }
    if (strPath == "." || strPath == "/") {
      if (::statvfs(strPath.c_str(), &sv) != 0) return false;
      break;
    }
  }
  nTotal = static_cast<uint64_t>(sv.f_blocks) * sv.f_frsize;
  nFree = static_cast<uint64_t>(sv.f_bavail) * sv.f_frsize;
  return true;
}

bool FsFindEntries(const char* szDir, const char* szMask, std::vector<FsEntry>& vEntries) {
  if (szDir == nullptr || szMask == nullptr) return false;
  std::string strDir = szDir[0] == '\0' ? "." : szDir;
  DIR* pDir = ::opendir(strDir.c_str());
  if (pDir == nullptr) return false;
  // "*.*" is the Windows idiom for "every name", dotted or not.
  bool bAll = std::strcmp(szMask, "*.*") == 0 || std::strcmp(szMask, "*") == 0;
  std::vector<FsEntry> vFound;
  while (struct dirent* pEnt = ::readdir(pDir)) {
    const char* szName = pEnt->d_name;
    if (std::strcmp(szName, ".") == 0 || std::strcmp(szName, "..") == 0) continue;
    if (!bAll && ::fnmatch(szMask, szName, 0) != 0) continue;
    std::string strFull = strDir;
    if (strFull.back() != '/') strFull += '/';
    strFull += szName;
    struct stat st;
    if (::lstat(strFull.c_str(), &st) != 0) continue;  // vanished meanwhile
    FsEntry e;
    e.strName = szName;
    e.bHidden = szName[0] == '.';
    e.bLink = S_ISLNK(st.st_mode);
    if (e.bLink) {
      struct stat stTarget;
      e.bDirectory = ::stat(strFull.c_str(), &stTarget) == 0 && S_ISDIR(stTarget.st_mode);
    } else {
      e.bDirectory = S_ISDIR(st.st_mode);
    }
    vFound.push_back(std::move(e));
  }
  ::closedir(pDir);
  std::sort(vFound.begin(), vFound.end(),
            [](const FsEntry& a, const FsEntry& b) { return a.strName < b.strName; });
  if (vFound.empty()) return false;
  vEntries.insert(vEntries.end(), vFound.begin(), vFound.end());
  return true;
}

bool CFsHandle::Open(const char* szPath, emOpen eMode) {
  Close();
  if (szPath == nullptr || szPath[0] == '\0') return false;
  int nFlags = O_RDWR | O_CLOEXEC;
  if (eMode == OpenAlwaysShared) nFlags |= O_CREAT;
  int fd = NoEintr([&] { return ::open(szPath, nFlags, 0666); });
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  m_nHandle = fd;
  return true;
}

bool CFsHandle::SetSize(int64_t nSize) {
  if (!IsOpen() || nSize < 0) return false;
  int fd = static_cast<int>(m_nHandle);
  if (NoEintr([&] { return ::ftruncate(fd, static_cast<off_t>(nSize)); }) != 0) return false;
  return ::lseek(fd, static_cast<off_t>(nSize), SEEK_SET) != static_cast<off_t>(-1);
}

bool CFsHandle::Rewind() {
  return IsOpen() && ::lseek(static_cast<int>(m_nHandle), 0, SEEK_SET) == 0;
}

bool CFsHandle::Write(const void* pData, unsigned nSize) {
  if (!IsOpen() || (pData == nullptr && nSize != 0)) return false;
  const char* p = static_cast<const char*>(pData);
  size_t nLeft = nSize;
  while (nLeft > 0) {
    ssize_t n = NoEintr([&] { return ::write(static_cast<int>(m_nHandle), p, nLeft); });
    if (n <= 0) return false;
    p += n;
    nLeft -= static_cast<size_t>(n);
  }
  return true;
}

void CFsHandle::Close() {
  if (IsOpen()) {
    ::close(static_cast<int>(m_nHandle));
    m_nHandle = kInvalid;
  }
}
