#include "base/logging/WriteDateLog.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/dates/MyDate.h"
#include "base/files/FileSystem.h"
#include "base/logging/LogDirScan.h"
#include "base/system/Clock.h"

namespace {

// Copies szSrc into a field of nSize characters; refuses what does not fit.
void StoreBounded(char* szField, unsigned nSize, const char* szSrc) {
  if (szSrc == nullptr) szSrc = "";
  size_t nLen = std::strlen(szSrc);
  if (nLen >= nSize) return;
  std::memcpy(szField, szSrc, nLen + 1);
}

}  // namespace

CWriteDateLog::CWriteDateLog(int nReservedDays) : CWriteDateLog("temp~", "log", nReservedDays) {}

CWriteDateLog::CWriteDateLog(const char* szPrefix, const char* szExt, int nReservedDays)
    : m_nReservedDays(nReservedDays) {
  std::strcpy(m_szPreFileName, "temp~");
  std::strcpy(m_szExtFileName, "log");
  StoreBounded(m_szPreFileName, kPrefixSize, szPrefix);
  StoreBounded(m_szExtFileName, kExtSize, szExt);
  m_szToday[0] = '\0';
  SetFilePath("");
  SetTodayTime();
}

CWriteDateLog::~CWriteDateLog() = default;

void CWriteDateLog::SetPreFileName(const char* szPrefix) {
  StoreBounded(m_szPreFileName, kPrefixSize, szPrefix);
}

void CWriteDateLog::SetExtFileName(const char* szExt) { StoreBounded(m_szExtFileName, kExtSize, szExt); }

void CWriteDateLog::SetClock(LogClock fnClock) {
  CWriteLog::SetClock(std::move(fnClock));
  SetTodayTime();
}

void CWriteDateLog::GetFileName(char* szDest) {
  // The date is read here without being stored as "today": only PreWrite's
  // check moves that on, so asking for the name can never hide a date change
  // from the next write.
  std::string strDate = Now().Format("%Y-%M-%D");
  std::snprintf(m_szFileName, kMaxPath, "%s%s.%s", m_szPreFileName, strDate.c_str(),
                m_szExtFileName);
  if (szDest != nullptr) std::strcpy(szDest, m_szFileName);
}

void CWriteDateLog::GetFullName(char* szDest) {
  GetFileName(nullptr);
  CMyFile::GetFullName(szDest);
}

void CWriteDateLog::SetFileName(const char* /*szName*/) {
  std::printf("SetFileName(const char* p_szFileName) is not valid for CWriteDateLog\n");
}

void CWriteDateLog::SetFullName(const char* /*szFullName*/) {
  std::printf("SetFullName(const char* p_szFullName) is not valid for CWriteDateLog\n");
}

void CWriteDateLog::OpenInit() {
  CloseFile();
  if (m_szPreFileName[0] == '\0') std::strcpy(m_szPreFileName, "temp~");
  if (m_szExtFileName[0] == '\0') std::strcpy(m_szExtFileName, "log");
}

void CWriteDateLog::SetTodayTime() {
  std::string strDate = Now().Format("%Y-%M-%D");
  std::snprintf(m_szToday, kDateSize, "%s", strDate.c_str());
}

bool CWriteDateLog::IsToday() {
  char szLast[kDateSize];
  std::memcpy(szLast, m_szToday, kDateSize);
  SetTodayTime();
  return std::strcmp(szLast, m_szToday) == 0;
}

bool CWriteDateLog::PreWrite() {
  if (m_eOutFlag == emLogNone || m_eOutFlag == emLogStdout) return true;
  if (!IsToday()) {
    CloseFile();
    DeleteOldLog();
    // A new day writes again, and the directory is read afresh.
    m_bDropping = false;
    m_bDirKnown = false;
  }
  return CWriteLog::PreWrite();
}

void CWriteDateLog::SetMaxDirSize(int64_t nBytes) {
  m_nMaxDirBytes = nBytes > 0 ? nBytes : 0;
  m_bDirKnown = false;
  m_bDropping = false;
}

void CWriteDateLog::Output(const char* szText) {
  if (szText == nullptr) return;
  const bool bFile = m_eOutFlag == emLogFile || m_eOutFlag == emLogBoth;
  if (!bFile || m_nMaxDirBytes <= 0) {
    CWriteLog::Output(szText);
    return;
  }
  const size_t nLen = std::strlen(szText);
  if (AdmitToFile(nLen)) {
    CWriteLog::Output(szText);
    m_nDirBytes += static_cast<int64_t>(nLen);
  } else if (m_eOutFlag == emLogBoth) {
    std::fwrite(szText, 1, nLen, stdout);
  }
}

bool CWriteDateLog::AdmitToFile(size_t nLen) {
  const int64_t nNeed = static_cast<int64_t>(nLen) + kDropNoteRoom;
  if (m_bDropping) {
    // Someone may have freed space: look again now and then, not per line.
    const uint64_t nNow = GetTickCountMs();
    if (++m_nDroppedSinceCheck < kDropRecheckLines && nNow - m_nDropCheckTick < kDropRecheckMs) {
      return false;
    }
    m_nDroppedSinceCheck = 0;
    m_nDropCheckTick = nNow;
    if (!MakeRoom(nNeed)) return false;
    m_bDropping = false;
    return true;
  }
  if (!m_bDirKnown || ++m_nLinesSinceScan >= kDirRescanEvery) {
    LogDirScan scan;
    RescanDir(scan);
  }
  if (m_bDirKnown && m_nDirBytes + nNeed <= m_nMaxDirBytes) return true;
  if (MakeRoom(nNeed)) return true;
  WriteDropNote();
  m_bDropping = true;
  m_nDroppedSinceCheck = 0;
  m_nDropCheckTick = GetTickCountMs();
  return false;
}

bool CWriteDateLog::RescanDir(LogDirScan& scan) {
  // The name of the file being written, which is never listed for removal.
  GetFileName(nullptr);
  m_nLinesSinceScan = 0;
  m_bDirKnown = ScanLogDir(m_szFilePath, m_szPreFileName, m_szExtFileName, m_szFileName, scan);
  m_nDirBytes = scan.nTotal;
  return m_bDirKnown;
}

bool CWriteDateLog::MakeRoom(int64_t nNeed) {
  LogDirScan scan;
  if (!RescanDir(scan)) return false;
  for (const LogDirFile& file : scan.vecOldestFirst) {
    if (m_nDirBytes + nNeed <= m_nMaxDirBytes) break;
    const std::string strPath = m_szFilePath[0] == '\0'
                                    ? file.strName
                                    : std::string(m_szFilePath) + g_cFsPathSep + file.strName;
    if (RemoveFile(strPath.c_str())) m_nDirBytes -= file.nSize;
  }
  return m_nDirBytes + nNeed <= m_nMaxDirBytes;
}

void CWriteDateLog::WriteDropNote() {
  char szStamp[kStampSize];
  CurrStamp(szStamp);
  char szNote[kDropNoteRoom];
  const int n = std::snprintf(szNote, sizeof(szNote),
                              "[%s]  The log directory has reached its size bound of %lld bytes: "
                              "later lines of %s are dropped until the next day or until "
                              "space is freed.\n",
                              szStamp, static_cast<long long>(m_nMaxDirBytes), m_szToday);
  if (n < 0) return;
  if (static_cast<unsigned>(n) >= sizeof(szNote)) szNote[sizeof(szNote) - 2] = '\n';
  const size_t nLen = std::strlen(szNote);
  // Kept free by every line admitted; only growth of other files can take it.
  if (m_nDirBytes + static_cast<int64_t>(nLen) > m_nMaxDirBytes) return;
  CWriteLog::Output(szNote);
  m_nDirBytes += static_cast<int64_t>(nLen);
}

void CWriteDateLog::DeleteOldLog() {
  if (m_nReservedDays <= 0) return;
  CloseFile();
  CMyDatetime now = Now();
  // A reserve reaching before the first day of the calendar deletes nothing.
  if (static_cast<long long>(m_nReservedDays) >= now.Julian()) return;
  CMyDate cutoff(now.Julian() - m_nReservedDays);
  const std::string strPrefix = m_szPreFileName;
  const std::string strExt = m_szExtFileName;
  const std::string strCutoff = strPrefix + cutoff.Format("%Y-%M-%D") + "." + strExt;
  const size_t nNameLen = strPrefix.size() + 11 + strExt.size();

  // Every entry is looked at and filtered here: a wildcard pattern built from
  // the prefix could carry wildcard characters of its own.
  std::vector<FsEntry> vEntries;
  if (!FsFindEntries(m_szFilePath, "*", vEntries)) return;
  for (const FsEntry& e : vEntries) {
    const std::string& strName = e.strName;
    if (e.bDirectory || strName.size() != nNameLen) continue;
    if (strName.compare(0, strPrefix.size(), strPrefix) != 0) continue;
    if (strName.compare(strPrefix.size() + 11, strExt.size(), strExt) != 0) continue;
    if (strName.compare(strCutoff) > 0) continue;
    std::string strPath = m_szFilePath[0] == '\0'
                              ? strName
                              : std::string(m_szFilePath) + g_cFsPathSep + strName;
    RemoveFile(strPath.c_str());
  }
}
