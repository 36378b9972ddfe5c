#include "base/logging/WriteDateLog.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/dates/MyDate.h"
#include "base/files/FileSystem.h"

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
  }
  return CWriteLog::PreWrite();
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
