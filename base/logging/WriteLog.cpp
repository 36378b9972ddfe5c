#include "base/logging/WriteLog.h"

#include <cstdio>
#include <cstring>

thread_local char CWriteLog::m_szTodayTime[CWriteLog::kStampSize];

void FormatLogText(char* szBuf, unsigned nSize, unsigned nOffset, const char* szFormat,
                   va_list args) {
  if (szBuf == nullptr || nSize == 0) return;
  if (nOffset >= nSize) nOffset = nSize - 1;
  szBuf[nOffset] = '\0';
  if (szFormat == nullptr) return;
  int n = std::vsnprintf(szBuf + nOffset, nSize - nOffset, szFormat, args);
  if (n < 0) {
    szBuf[nOffset] = '\0';  // an encoding error: keep the prefix only
    return;
  }
  if (static_cast<unsigned>(n) >= nSize - nOffset && nSize >= 2) {
    szBuf[nSize - 2] = '\n';  // cut: end the line so the next entry starts clean
    szBuf[nSize - 1] = '\0';
  }
}

CWriteLog::CWriteLog() { m_szBuffer[0] = '\0'; }

CWriteLog::CWriteLog(const char* szFullName) : CMyFile(szFullName) { m_szBuffer[0] = '\0'; }

CWriteLog::~CWriteLog() = default;

void CWriteLog::FormatStamp(const CMyDatetime& dt, char* szOut) {
  std::string str = dt.Format("%Y-%M-%D %H:%U:%S.%R");
  std::snprintf(szOut, kStampSize, "%s", str.c_str());
}

const char* CWriteLog::GetCurrTime() {
  FormatStamp(CMyDatetime(true, false), m_szTodayTime);
  return m_szTodayTime;
}

CMyDatetime CWriteLog::Now() const {
  if (m_fnClock) return m_fnClock();
  return CMyDatetime(true, false);
}

void CWriteLog::CurrStamp(char* szOut) const { FormatStamp(Now(), szOut); }

bool CWriteLog::Write(const char* szText) {
  if (!PreWrite()) return false;
  Output(szText);
  return true;
}

void CWriteLog::FormatBehind(unsigned nOffset, const char* szFormat, va_list args) {
  FormatLogText(m_szBuffer, kBufferSize, nOffset, szFormat, args);
}

bool CWriteLog::WriteBuffer() { return Write(m_szBuffer); }

bool CWriteLog::WriteStamped(const char* szFormat, va_list args) {
  char szStamp[kStampSize];
  CurrStamp(szStamp);
  int n = std::snprintf(m_szBuffer, kBufferSize, "[%s]  ", szStamp);
  FormatBehind(static_cast<unsigned>(n), szFormat, args);
  return WriteBuffer();
}

bool CWriteLog::WriteLog(const char* szFormat, ...) {
  va_list args;
  va_start(args, szFormat);
  bool bOk = WriteStamped(szFormat, args);
  va_end(args);
  return bOk;
}

bool CWriteLog::WriteLog(unsigned nLevel, const char* szFormat, ...) {
  if (nLevel > GetLogLevel()) return true;
  va_list args;
  va_start(args, szFormat);
  bool bOk = WriteStamped(szFormat, args);
  va_end(args);
  return bOk;
}

bool CWriteLog::WriteLog(unsigned nSource, unsigned nLevel, const char* szFormat, ...) {
  if (nLevel > GetLogLevel()) return true;
  char szStamp[kStampSize];
  CurrStamp(szStamp);
  int n = std::snprintf(m_szBuffer, kBufferSize, "[%s][%02u:%02u] ", szStamp, nSource, nLevel);
  va_list args;
  va_start(args, szFormat);
  FormatBehind(static_cast<unsigned>(n), szFormat, args);
  va_end(args);
  return WriteBuffer();
}

CWriteLog& CWriteLog::operator<<(const char* szText) {
  std::snprintf(m_szBuffer, kBufferSize, "%s", szText != nullptr ? szText : "");
  WriteBuffer();
  return *this;
}

CWriteLog& CWriteLog::operator<<(const std::string& strText) { return *this << strText.c_str(); }

CWriteLog& CWriteLog::operator<<(int nValue) {
  std::snprintf(m_szBuffer, kBufferSize, "%d", nValue);
  WriteBuffer();
  return *this;
}

CWriteLog& CWriteLog::operator<<(long nValue) {
  std::snprintf(m_szBuffer, kBufferSize, "%ld", nValue);
  WriteBuffer();
  return *this;
}

CWriteLog& CWriteLog::operator<<(double dValue) {
  std::snprintf(m_szBuffer, kBufferSize, "%f", dValue);
  WriteBuffer();
  return *this;
}

bool CWriteLog::PreWrite() {
  if (m_eOutFlag == emLogNone || m_eOutFlag == emLogStdout) return true;
  unsigned nCount = m_nWriteCount++;
  if (nCount % kSizeCheckEvery == 0) SetAsideIfTooBig();
  if (IsFileOpen()) return true;
  return OpenFile(kModeOut | kModeApp | kModeBinary);
}

void CWriteLog::SetAsideIfTooBig() {
  // The full 64-bit size: a file past 4 GiB must not read as a small one.
  int64_t nSize = 0;
  if (!GetFileSize64(nSize) || nSize <= kSetAsideSize) return;
  char szFull[kMaxFullName];
  GetFullName(szFull);
  CloseFile();
  char szCandidate[kMaxFullName + 16];
  do {
    std::snprintf(szCandidate, sizeof(szCandidate), "%s%u", szFull, m_nRenameIndex++);
  } while (FileIsExist(szCandidate) || DirIsExist(szCandidate));
  ChangeFileName(szFull, szCandidate);  // a failure leaves the file for the next check
}

void CWriteLog::Output(const char* szText) {
  if (szText == nullptr) return;
  size_t nLen = std::strlen(szText);
  bool bFile = m_eOutFlag == emLogFile || m_eOutFlag == emLogBoth;
  bool bStdout = m_eOutFlag == emLogStdout || m_eOutFlag == emLogBoth;
  if (bFile) {
    ClearFailure();
    m_file.write(szText, static_cast<std::streamsize>(nLen));
  }
  if (bStdout) std::fwrite(szText, 1, nLen, stdout);
  if (bFile) m_file.flush();
}
