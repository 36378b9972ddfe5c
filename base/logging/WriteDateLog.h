#pragma once

// CWriteDateLog: a CWriteLog whose file is named prefix + date + "." +
// extension ("Tolvan2026-12-04.log") in its directory. The first write after
// the date changes closes the file, deletes the files of this log that are
// older than the reserved number of days, and opens the new date's file.
//
// The name is fixed by the date: SetFileName and SetFullName are refused with
// a line on standard output. Fields longer than their buffers (prefix 99,
// extension 19 characters) are refused and the old value kept.

#include "base/logging/WriteLog.h"

class CWriteDateLog : public CWriteLog {
 public:
  static constexpr unsigned kPrefixSize = 100;
  static constexpr unsigned kExtSize = 20;
  static constexpr unsigned kDateSize = 16;

  // Prefix "temp~", extension "log", the executable's directory, today's date.
  explicit CWriteDateLog(int nReservedDays = 7);
  CWriteDateLog(const char* szPrefix, const char* szExt, int nReservedDays = 7);
  ~CWriteDateLog() override;

  void SetPreFileName(const char* szPrefix);
  void SetExtFileName(const char* szExt);
  void SetReservedDays(int nDays) { m_nReservedDays = nDays; }
  int GetReservedDays() const { return m_nReservedDays; }
  // Replaces the clock and takes today's date from the new one, so that the
  // change of clock itself is not a change of date.
  void SetClock(LogClock fnClock);

  // Prefix + the clock's current date + "." + extension.
  void GetFileName(char* szDest) override;
  // The directory, the platform's separator and GetFileName's name.
  void GetFullName(char* szDest) override;
  // Refused (see above).
  void SetFileName(const char* szName) override;
  void SetFullName(const char* szFullName) override;

  // Deletes this log's files dated the reserved number of days before today
  // or earlier; files of other names, and files set aside for size (their
  // names are longer), stay. Nothing happens when the reserved days are 0 or
  // fewer. Closes the file first.
  void DeleteOldLog();

 protected:
  void OpenInit() override;
  // Reads today's date; true when it is the one read last time.
  bool IsToday();
  void SetTodayTime();
  bool PreWrite() override;

  char m_szPreFileName[kPrefixSize];
  char m_szExtFileName[kExtSize];
  char m_szToday[kDateSize];
  int m_nReservedDays;
};
