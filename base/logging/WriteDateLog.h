#pragma once

// CWriteDateLog: a CWriteLog whose file is named prefix + date + "." +
// extension ("Tolvan2026-12-04.log") in its directory. The first write after
// the date changes closes the file, deletes the files of this log that are
// older than the reserved number of days, and opens the new date's file.
//
// The name is fixed by the date: SetFileName and SetFullName are refused with
// a line on standard output. Fields longer than their buffers (prefix 99,
// extension 19 characters) are refused and the old value kept.
//
// Size bound (SetMaxDirSize, none by default): the bytes of every file in the
// log's directory, this log's or not, stay within the bound. A line that would
// pass it first makes room by removing this log's oldest files (dated files
// and those set aside for size, never the file being written); when that is
// not enough, the line and the later ones are dropped from the file, after one
// line that says so. Writing resumes at the first write of a new date, or when
// a later look at the directory finds room again. The directory is read at the
// first write, every kDirRescanEvery lines, and while lines are dropped at
// most every kDropRecheckLines lines or kDropRecheckMs milliseconds; between
// those the size is tracked by adding up what is written.

#include <cstddef>
#include <cstdint>

#include "base/logging/LogDirScan.h"
#include "base/logging/WriteLog.h"

class CWriteDateLog : public CWriteLog {
 public:
  static constexpr unsigned kPrefixSize = 100;
  static constexpr unsigned kExtSize = 20;
  static constexpr unsigned kDateSize = 16;
  static constexpr unsigned kDirRescanEvery = 10000;
  static constexpr unsigned kDropRecheckLines = 1000;
  static constexpr uint64_t kDropRecheckMs = 10000;
  // Kept free behind every line written under a bound, for the line that
  // says later lines are dropped (which is cut to fit in it).
  static constexpr unsigned kDropNoteRoom = 256;

  // Prefix "temp~", extension "log", the executable's directory, today's date.
  explicit CWriteDateLog(int nReservedDays = 7);
  CWriteDateLog(const char* szPrefix, const char* szExt, int nReservedDays = 7);
  ~CWriteDateLog() override;

  void SetPreFileName(const char* szPrefix);
  void SetExtFileName(const char* szExt);
  void SetReservedDays(int nDays) { m_nReservedDays = nDays; }
  int GetReservedDays() const { return m_nReservedDays; }
  // Bound of the directory's total size in bytes; 0 or less: no bound.
  void SetMaxDirSize(int64_t nBytes);
  int64_t GetMaxDirSize() const { return m_nMaxDirBytes; }
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
  // Under a bound, the file part of the output goes through AdmitToFile.
  void Output(const char* szText) override;

  // Whether a line of nLen bytes may go to the file (see the size bound).
  bool AdmitToFile(size_t nLen);
  // Reads the directory and removes this log's oldest files until nNeed more
  // bytes fit; true when they do.
  bool MakeRoom(int64_t nNeed);
  // Reads the directory into scan and m_nDirBytes; false when it cannot be read.
  bool RescanDir(LogDirScan& scan);
  // Writes the line that says later lines of today are dropped, when it fits.
  void WriteDropNote();

  char m_szPreFileName[kPrefixSize];
  char m_szExtFileName[kExtSize];
  char m_szToday[kDateSize];
  int m_nReservedDays;

  int64_t m_nMaxDirBytes = 0;
  int64_t m_nDirBytes = 0;        // as last read, plus what was written since
  bool m_bDirKnown = false;       // m_nDirBytes is valid
  unsigned m_nLinesSinceScan = 0;
  bool m_bDropping = false;       // lines are being dropped from the file
  unsigned m_nDroppedSinceCheck = 0;
  uint64_t m_nDropCheckTick = 0;  // when the directory was last read while dropping
};
