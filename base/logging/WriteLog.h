#pragma once

// CWriteLog: a CMyFile that formats log entries and writes them to its file
// and/or standard output. Every 10,000th write checks the file's size; a file
// past 1 GiB is set aside under its name with a number appended (0, 1, ...)
// and a new, empty file of the old name is started.
//
// No form adds a line end: the text or the format supplies it. An entry longer
// than the 4,096-character buffer is cut, and a cut entry ends with '\n' so the
// next one starts on a line of its own.
//
// The class takes no lock; the process log (ProcessLog.h) serialises its use.
// Time stamps come from the writer's clock: the local clock unless SetClock
// put another in place (tests do).

#include <atomic>
#include <cstdarg>
#include <functional>
#include <string>

#include "base/dates/MyDatetime.h"
#include "base/files/MyFile.h"

enum emLogFlag {
  emLogNone = 0,     // no output
  emLogFile = 1,     // the file
  emLogStdout = 2,   // standard output
  emLogBoth = 3,     // the file and standard output
};

// Where a log writer reads the local date and time.
using LogClock = std::function<CMyDatetime()>;

// printf-style format checking. MinGW's own printf family follows the
// Microsoft conventions, so GCC is told the GNU ones our vsnprintf follows;
// clang knows only the plain printf archetype.
#if defined(__clang__)
#define TOLVAN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TOLVAN_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#endif

class CWriteLog : public CMyFile {
 public:
  static constexpr unsigned kBufferSize = 4096;
  static constexpr unsigned kStampSize = 24;  // "2026-12-04 14:55:16.123" and NUL
  static constexpr unsigned kSizeCheckEvery = 10000;
  static constexpr long long kSetAsideSize = 1LL << 30;  // strictly larger is set aside

  CWriteLog();
  explicit CWriteLog(const char* szFullName);
  ~CWriteLog() override;

  // The current local time as "%Y-%M-%D %H:%U:%S.%R" in m_szTodayTime, whose
  // address is returned. The buffer is the calling thread's own, so threads
  // never see each other's stamps; it stays valid until that thread's next call.
  static const char* GetCurrTime();
  // Formats a date-time as a log stamp into szOut (kStampSize characters).
  static void FormatStamp(const CMyDatetime& dt, char* szOut);

  void SetOutFlag(emLogFlag eFlag) { m_eOutFlag = eFlag; }
  emLogFlag GetOutFlag() const { return m_eOutFlag; }
  // The threshold may be changed from any thread while others write.
  void SetLogLevel(unsigned nLevel) { m_nLogLevel.store(nLevel, std::memory_order_relaxed); }
  unsigned GetLogLevel() const { return m_nLogLevel.load(std::memory_order_relaxed); }
  // Replaces the clock (an empty function restores the local clock).
  void SetClock(LogClock fnClock) { m_fnClock = std::move(fnClock); }
  // The writer's current time and its stamp (kStampSize characters).
  CMyDatetime Now() const;
  void CurrStamp(char* szOut) const;

  // PreWrite, then Output of the text unchanged; false when PreWrite fails.
  bool Write(const char* szText);
  // "[stamp]  " and the message.
  bool WriteLog(const char* szFormat, ...) TOLVAN_PRINTF(2, 3);
  // As above when nLevel is not above the threshold; else true, nothing written.
  bool WriteLog(unsigned nLevel, const char* szFormat, ...) TOLVAN_PRINTF(3, 4);
  // "[stamp][source:level] " and the message, when nLevel passes.
  bool WriteLog(unsigned nSource, unsigned nLevel, const char* szFormat, ...) TOLVAN_PRINTF(4, 5);

  // The value alone, no stamp.
  CWriteLog& operator<<(const char* szText);
  CWriteLog& operator<<(const std::string& strText);
  CWriteLog& operator<<(int nValue);
  CWriteLog& operator<<(long nValue);
  CWriteLog& operator<<(double dValue);

 protected:
  friend void WriteProcessLog(int nSource, unsigned nLevel, const char* szFormat, ...);

  // Makes sure the file is ready (when the flag needs one): the size check on
  // every 10,000th call, then the file opened for appending if it is not.
  virtual bool PreWrite();
  // Sends the text where the output flag says.
  virtual void Output(const char* szText);

  // Sets the file aside when it is larger than 1 GiB.
  void SetAsideIfTooBig();
  // Formats into m_szBuffer behind nOffset characters already there.
  void FormatBehind(unsigned nOffset, const char* szFormat, va_list args);
  bool WriteBuffer();
  // "[stamp]  " and the formatted message into the buffer, then written.
  bool WriteStamped(const char* szFormat, va_list args);

  char m_szBuffer[kBufferSize];
  emLogFlag m_eOutFlag = emLogFile;
  unsigned m_nWriteCount = 0;
  std::atomic<unsigned> m_nLogLevel{10};
  unsigned m_nRenameIndex = 0;
  LogClock m_fnClock;

  static thread_local char m_szTodayTime[kStampSize];
};

// Formats into szBuf of nSize characters behind nOffset characters already
// there, cutting what does not fit; a cut text ends with '\n'.
void FormatLogText(char* szBuf, unsigned nSize, unsigned nOffset, const char* szFormat,
                   va_list args);
