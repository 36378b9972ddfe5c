#pragma once

// What the size bound of a date log (CWriteDateLog) needs to know of its
// directory: the size of everything in it, and which of its files belong to
// the log, oldest first, so that the oldest can be removed to make room.

#include <cstdint>
#include <string>
#include <vector>

// One file of the log found by ScanLogDir.
struct LogDirFile {
  std::string strName;  // name within the directory
  int64_t nSize = 0;
};

struct LogDirScan {
  // Bytes of every regular file in the directory, the log's or not.
  int64_t nTotal = 0;
  // The log's own files other than the one being written, oldest first: its
  // dated files (prefix + "YYYY-MM-DD" + "." + extension) by date, and on
  // each date the files set aside for size (the dated name and a number) by
  // their number, before the dated file itself.
  std::vector<LogDirFile> vecOldestFirst;
};

// Reads szDir. strCurrent is the name of the file being written, which is
// counted but never listed. Sizes are read with every kind of sharing allowed
// (the log itself holds its file open for writing); a file whose size cannot
// be read counts as empty.
// False when the directory cannot be read (scan is then empty).
bool ScanLogDir(const char* szDir, const std::string& strPrefix, const std::string& strExt,
                const std::string& strCurrent, LogDirScan& scan);
