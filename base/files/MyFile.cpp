#include "base/files/MyFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/files/FileSystem.h"
#include "base/system/AppDirs.h"

namespace {

constexpr unsigned kBlock = 4096;

std::ios_base::openmode ToOpenMode(int nMode) {
  std::ios_base::openmode m{};
  if (nMode & CMyFile::kModeIn) m |= std::ios_base::in;
  if (nMode & CMyFile::kModeOut) m |= std::ios_base::out;
  if (nMode & CMyFile::kModeAte) m |= std::ios_base::ate;
  if (nMode & CMyFile::kModeApp) m |= std::ios_base::app;
  if (nMode & CMyFile::kModeTrunc) m |= std::ios_base::trunc;
  if (nMode & CMyFile::kModeBinary) m |= std::ios_base::binary;
  return m;
}

// Copies szSrc into a field of kMaxPath characters; refuses what does not fit.
bool StoreField(char* szField, const char* szSrc, size_t nLen) {
  if (nLen >= CMyFile::kMaxPath) return false;
  std::memcpy(szField, szSrc, nLen);
  szField[nLen] = '\0';
  return true;
}

template <bool (*IsSeparator)(char)>
const char* LastSeparator(const char* szPath) {
  const char* p = nullptr;
  for (const char* q = szPath; *q != '\0'; ++q) {
    if (IsSeparator(*q)) p = q;
  }
  return p;
}

const char* LastAnySeparator(const char* szPath) { return LastSeparator<FsIsAnySeparator>(szPath); }

}  // namespace

// ---------------------------------------------------------------- static utilities

bool CMyFile::FileIsExist(const char* szPath) { return FsIsFile(szPath); }

bool CMyFile::DirIsExist(const char* szPath) { return FsIsDirectory(szPath); }

void CMyFile::MakeDirectory(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0' || DirIsExist(szPath)) return;
  size_t nLen = std::strlen(szPath);
  if (nLen >= kMaxFullName) return;  // longer than any path this class builds
  char szCopy[kMaxFullName];
  std::memcpy(szCopy, szPath, nLen + 1);
  // Only what the system takes as a separator divides the directories to
  // make: on POSIX "a\\b" is one directory.
  char* pSep = const_cast<char*>(LastSeparator<FsIsSystemSeparator>(szCopy));
  if (pSep == nullptr) {
    FsCreateDirectory(szCopy);
    return;
  }
  bool bTrailing = pSep[1] == '\0';
  *pSep = '\0';
  if (szCopy[0] != '\0' && !DirIsExist(szCopy)) MakeDirectory(szCopy);
  if (!bTrailing) FsCreateDirectory(szPath);
}

bool CMyFile::GetFileSize(const char* szPath, unsigned& nSize) {
  int64_t n = 0;
  if (!FsGetFileSize64(szPath, n)) return false;
  nSize = static_cast<unsigned>(static_cast<uint64_t>(n) & 0xFFFFFFFFu);
  return true;
}

bool CMyFile::GetFileSize64(const char* szPath, int64_t& nSize) { return FsGetFileSize64(szPath, nSize); }

bool CMyFile::SetFileSize(const char* szPath, unsigned nSize) {
  return SetFileSize64(szPath, static_cast<int64_t>(nSize));
}

bool CMyFile::SetFileSize64(const char* szPath, int64_t nSize) {
  CFsHandle h;
  return h.Open(szPath, CFsHandle::OpenExistingExclusive) && h.SetSize(nSize);
}

bool CMyFile::CreateCertainSizeFile(const char* szPath, unsigned nSize, bool bFill) {
  return CreateCertainSizeFile64(szPath, static_cast<int64_t>(nSize), bFill);
}

bool CMyFile::CreateCertainSizeFile64(const char* szPath, int64_t nSize, bool bFill) {
  CFsHandle h;
  if (!h.Open(szPath, CFsHandle::OpenAlwaysShared)) return false;
  if (!bFill) return h.SetSize(nSize);
  // Zero blocks from the start; a 64-bit count, so sizes past 4 GiB work too.
  static const unsigned char s_zeros[kBlock] = {};
  int64_t nWritten = 0;
  if (!h.Rewind()) return false;
  while (nWritten < nSize) {
    unsigned nChunk = static_cast<unsigned>(std::min<int64_t>(kBlock, nSize - nWritten));
    if (!h.Write(s_zeros, nChunk)) break;
    nWritten += nChunk;
  }
  return nWritten == nSize;
}

bool CMyFile::BackUpFile(const char* szSource, const char* szDest) {
  if (szSource == nullptr || szDest == nullptr) return false;
  std::ifstream in(szSource, std::ios_base::in | std::ios_base::binary);
  if (!in.is_open()) return false;
  std::ofstream out(szDest, std::ios_base::out | std::ios_base::binary | std::ios_base::trunc);
  if (!out.is_open()) return false;
  char buf[kBlock];
  while (in) {
    in.read(buf, sizeof(buf));
    std::streamsize n = in.gcount();
    if (n <= 0) break;
    out.write(buf, n);
  }
  return true;
}

bool CMyFile::IsSameContent(const char* szFirst, const char* szSecond) {
  if (szFirst == nullptr || szSecond == nullptr) return false;
  std::ifstream a(szFirst, std::ios_base::in | std::ios_base::binary);
  std::ifstream b(szSecond, std::ios_base::in | std::ios_base::binary);
  if (!a.is_open() || !b.is_open()) return false;
  a.seekg(0, std::ios_base::end);
  b.seekg(0, std::ios_base::end);
  std::streamoff nA = a.tellg();
  std::streamoff nB = b.tellg();
  if (nA < 0 || nB < 0 || nA != nB) return false;
  a.seekg(0, std::ios_base::beg);
  b.seekg(0, std::ios_base::beg);
  char bufA[kBlock];
  char bufB[kBlock];
  while (!a.eof()) {
    a.read(bufA, sizeof(bufA));
    b.read(bufB, sizeof(bufB));
    std::streamsize n = a.gcount();
    if (n != b.gcount()) return false;
    if (n > 0 && std::memcmp(bufA, bufB, static_cast<size_t>(n)) != 0) return false;
    if (n == 0 && a.fail() && !a.eof()) return false;  // read error, not the end
  }
  return true;
}

bool CMyFile::RemoveFile(const char* szPath) { return szPath != nullptr && std::remove(szPath) == 0; }

bool CMyFile::ChangeFileName(const char* szOld, const char* szNew) {
  return szOld != nullptr && szNew != nullptr && std::rename(szOld, szNew) == 0;
}

bool CMyFile::QueryDiskSpaceMB(const char* szPath, unsigned& nTotalMB, unsigned& nFreeMB) {
  uint64_t nTotal = 0;
  uint64_t nFree = 0;
  if (!FsDiskSpace(szPath, nTotal, nFree)) return false;
  // A volume beyond 4 PiB reads as the largest value rather than wrapping.
  auto toMB = [](uint64_t n) {
    return static_cast<unsigned>(std::min<uint64_t>(n / 1024 / 1024, 0xFFFFFFFFu));
  };
  nTotalMB = toMB(nTotal);
  nFreeMB = toMB(nFree);
  return true;
}

// The pattern is the directory and the mask; each found name is appended as
// prefix + name, the prefix being the directory with one native separator.
// Directories are entered (with the same mask, so only those whose own name
// matches) when bRecursive is set and, unless bIncludeHidden, they are not
// hidden; symbolic links and reparse points are never entered, so a link loop
// cannot recurse without end. Hidden files are listed only with bIncludeHidden.
void CMyFile::FindAllFiles(const char* szDir, const char* szMask, std::vector<std::string>& vFiles,
                           bool bRecursive, bool bIncludeHidden) {
  if (szDir == nullptr || szMask == nullptr) return;
  std::string strPrefix = szDir;
  if (strPrefix.empty() || !FsIsNativeSeparator(strPrefix.back())) strPrefix += g_cFsPathSep;
  std::vector<FsEntry> vEntries;
  if (!FsFindEntries(szDir, szMask, vEntries)) return;
  for (const FsEntry& e : vEntries) {
    std::string strPath = strPrefix + e.strName;
    bool bVisible = bIncludeHidden || !e.bHidden;
    if (e.bDirectory) {
      if (bRecursive && bVisible && !e.bLink) {
        FindAllFiles(strPath.c_str(), szMask, vFiles, bRecursive, bIncludeHidden);
      }
    } else if (bVisible) {
      vFiles.push_back(std::move(strPath));
    }
  }
}

char* CMyFile::ExtractFileDir(char* szPath) {
  if (szPath == nullptr) return nullptr;
  char* pSep = const_cast<char*>(LastAnySeparator(szPath));
  if (pSep != nullptr) *pSep = '\0';
  return szPath;
}

void CMyFile::ExtractFileDir(const char* szPath, char* szDest) {
  if (szPath == nullptr || szDest == nullptr) return;
  const char* pSep = LastAnySeparator(szPath);
  size_t nLen = pSep != nullptr ? static_cast<size_t>(pSep - szPath) : std::strlen(szPath);
  std::memmove(szDest, szPath, nLen);
  szDest[nLen] = '\0';
}

char* CMyFile::ExtractFileName(char* szPath) {
  if (szPath == nullptr) return nullptr;
  char* pSep = const_cast<char*>(LastAnySeparator(szPath));
  return pSep != nullptr ? pSep + 1 : szPath;
}

const char* CMyFile::ExtractFileName(const char* szPath) {
  if (szPath == nullptr) return nullptr;
  const char* pSep = LastAnySeparator(szPath);
  return pSep != nullptr ? pSep + 1 : szPath;
}

void CMyFile::ExtractFileName(const char* szPath, char* szDest) {
  if (szPath == nullptr || szDest == nullptr) return;
  const char* szName = ExtractFileName(szPath);
  std::memmove(szDest, szName, std::strlen(szName) + 1);
}

// ---------------------------------------------------------------- instance

CMyFile::CMyFile() {
  m_szFilePath[0] = '\0';
  m_szFileName[0] = '\0';
}

CMyFile::CMyFile(const char* szFullName) : CMyFile() { CMyFile::SetFullName(szFullName); }

CMyFile::~CMyFile() { CloseFile(); }

void CMyFile::SetFilePath(const char* szDir) {
  if (szDir == nullptr || szDir[0] == '\0') {
    const std::string strDir = GetStateDir();
    if (!StoreField(m_szFilePath, strDir.c_str(), strDir.size())) m_szFilePath[0] = '\0';
    return;
  }
  size_t nLen = std::strlen(szDir);
  // One trailing separator goes; a root of one character ("/") stays.
  if (nLen > 1 && FsIsNativeSeparator(szDir[nLen - 1])) --nLen;
  if (!StoreField(m_szFilePath, szDir, nLen)) return;
  MakeDirectory(m_szFilePath);
}

void CMyFile::GetFilePath(char* szDest) const {
  if (szDest != nullptr) std::strcpy(szDest, m_szFilePath);
}

void CMyFile::SetFileName(const char* szName) {
  if (szName == nullptr) szName = "";
  StoreField(m_szFileName, szName, std::strlen(szName));
}

void CMyFile::GetFileName(char* szDest) {
  if (szDest != nullptr) std::strcpy(szDest, m_szFileName);
}

void CMyFile::SetFullName(const char* szFullName) {
  if (szFullName == nullptr) szFullName = "";
  size_t nLen = std::strlen(szFullName);
  const char* pSep = nullptr;
  for (const char* q = szFullName; *q != '\0'; ++q) {
    if (FsIsNativeSeparator(*q)) pSep = q;
  }
  if (pSep == nullptr || pSep == szFullName) {
    if (nLen >= kMaxPath) return;
    m_szFilePath[0] = '\0';
    StoreField(m_szFileName, szFullName, nLen);
    return;
  }
  size_t nDir = static_cast<size_t>(pSep - szFullName);
  size_t nName = nLen - nDir - 1;
  if (nDir >= kMaxPath || nName >= kMaxPath) return;  // refused whole
  StoreField(m_szFilePath, szFullName, nDir);
  StoreField(m_szFileName, pSep + 1, nName);
}

void CMyFile::GetFullName(char* szDest) {
  if (szDest == nullptr) return;
  if (m_szFilePath[0] == '\0') {
    std::snprintf(szDest, kMaxFullName, "%s", m_szFileName);
  } else {
    std::snprintf(szDest, kMaxFullName, "%s%c%s", m_szFilePath, g_cFsPathSep, m_szFileName);
  }
}

void CMyFile::OpenInit() {
  CloseFile();
  if (m_szFileName[0] == '\0') std::strcpy(m_szFileName, "tempfile~");
}

bool CMyFile::OpenFile(int nMode) {
  OpenInit();
  char szFull[kMaxFullName];
  GetFullName(szFull);
  char szDir[kMaxPath];
  std::strcpy(szDir, m_szFilePath);
  MakeDirectory(szDir);
  // Narrow names open as bytes on POSIX and in the ANSI code page on Windows
  // (libstdc++ hands them to the C library unchanged): no locale change needed.
  m_file.clear();
  m_file.open(szFull, ToOpenMode(nMode));
  if (m_file.is_open()) {
    m_file.clear();
  } else {
    m_file.setstate(std::ios_base::failbit);
  }
  return m_file.is_open();
}

void CMyFile::CloseFile() {
  if (m_file.is_open()) m_file.close();
  m_file.clear();
}

bool CMyFile::IsFileOpen() const { return m_file.is_open(); }

bool CMyFile::Eof() const { return m_file.eof(); }

void CMyFile::Flush() {
  if (!m_file.is_open()) return;
  m_file.flush();
  ClearFailure();
}

bool CMyFile::ClearFailure() {
  if (!m_file.fail()) return false;
  m_file.clear();
  return true;
}

bool CMyFile::GetFileReadPtrPos(unsigned& nPos) {
  if (!m_file.is_open()) return false;
  std::streamoff n = m_file.tellg();
  if (ClearFailure() || n < 0) return false;
  nPos = static_cast<unsigned>(n);
  return true;
}

bool CMyFile::GetFileWritePtrPos(unsigned& nPos) {
  if (!m_file.is_open()) return false;
  std::streamoff n = m_file.tellp();
  if (ClearFailure() || n < 0) return false;
  nPos = static_cast<unsigned>(n);
  return true;
}

bool CMyFile::SetFileReadPtrPos(unsigned nPos) {
  if (!m_file.is_open()) return false;
  m_file.seekg(static_cast<std::streamoff>(nPos), std::ios_base::beg);
  return !ClearFailure();
}

bool CMyFile::SetFileWritePtrPos(unsigned nPos) {
  if (!m_file.is_open()) return false;
  m_file.seekp(static_cast<std::streamoff>(nPos), std::ios_base::beg);
  return !ClearFailure();
}

bool CMyFile::MoveReadPtrFromCur(int nOffset) {
  if (!m_file.is_open()) return false;
  m_file.seekg(nOffset, std::ios_base::cur);
  return !ClearFailure();
}

bool CMyFile::MoveWritePtrFromCur(int nOffset) {
  if (!m_file.is_open()) return false;
  m_file.seekp(nOffset, std::ios_base::cur);
  return !ClearFailure();
}

bool CMyFile::GetFileSize(unsigned& nSize) {
  int64_t n = 0;
  if (!GetFileSize64(n)) return false;
  nSize = static_cast<unsigned>(static_cast<uint64_t>(n) & 0xFFFFFFFFu);
  return true;
}

bool CMyFile::GetFileSize64(int64_t& nSize) {
  if (m_file.is_open()) {
    std::streamoff nPos = m_file.tellg();
    m_file.seekg(0, std::ios_base::end);
    std::streamoff nEnd = m_file.tellg();
    if (nPos >= 0) m_file.seekg(nPos, std::ios_base::beg);
    if (ClearFailure() || nEnd < 0) return false;
    nSize = nEnd;
    return true;
  }
  if (!OpenFile(kModeIn)) return false;
  m_file.seekg(0, std::ios_base::end);
  std::streamoff nEnd = m_file.tellg();
  bool bOk = !ClearFailure() && nEnd >= 0;
  if (bOk) nSize = nEnd;
  CloseFile();
  return bOk;
}

bool CMyFile::ReadFromFile(unsigned char* pBuffer, unsigned nSize, unsigned& nRead) {
  nRead = 0;
  if (!m_file.is_open() || m_file.eof() || pBuffer == nullptr) return false;
  m_file.read(reinterpret_cast<char*>(pBuffer), static_cast<std::streamsize>(nSize));
  nRead = static_cast<unsigned>(m_file.gcount());
  return !ClearFailure();
}

bool CMyFile::GetLineFromFile(char* szBuffer, unsigned nSize, unsigned& nRead) {
  nRead = 0;
  if (!m_file.is_open() || m_file.eof() || szBuffer == nullptr || nSize == 0) return false;
  m_file.getline(szBuffer, static_cast<std::streamsize>(nSize));
  nRead = static_cast<unsigned>(m_file.gcount());
  return !ClearFailure();
}

bool CMyFile::GetLineFromFile(std::string& strLine) {
  if (!m_file.is_open() || m_file.eof()) return false;
  std::getline(m_file, strLine);
  return !ClearFailure();
}

bool CMyFile::WriteToFile(const unsigned char* pData, unsigned nSize) {
  if (!m_file.is_open() || (pData == nullptr && nSize != 0)) return false;
  m_file.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(nSize));
  return !ClearFailure();
}
