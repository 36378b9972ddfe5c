#include "base/logging/LogDirScan.h"

#include <algorithm>
#include <cctype>

#include "base/files/FileSystem.h"

namespace {

constexpr size_t kDateLen = 10;  // "YYYY-MM-DD"

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// A log file's place in time: its date, then its set-aside number (a file set
// aside is older than the dated file of the same day, which has no number).
struct CAge {
  std::string strDate;
  std::string strNumber;  // digits without leading zeros; empty for the dated file
  bool bSetAside = false;
};

bool operator<(const CAge& a, const CAge& b) {
  if (a.strDate != b.strDate) return a.strDate < b.strDate;
  if (a.bSetAside != b.bSetAside) return a.bSetAside;
  if (a.strNumber.size() != b.strNumber.size()) return a.strNumber.size() < b.strNumber.size();
  return a.strNumber < b.strNumber;
}

// True when strName is prefix + date + "." + extension, optionally followed by
// a set-aside number; fills its age.
bool ReadLogName(const std::string& strName, const std::string& strPrefix,
                 const std::string& strExt, CAge& age) {
  const size_t nBase = strPrefix.size() + kDateLen + 1 + strExt.size();
  if (strName.size() < nBase || strName.compare(0, strPrefix.size(), strPrefix) != 0) return false;
  const std::string strDate = strName.substr(strPrefix.size(), kDateLen);
  for (size_t i = 0; i < kDateLen; ++i) {
    const bool bDash = i == 4 || i == 7;
    if (bDash ? strDate[i] != '-' : !IsDigit(strDate[i])) return false;
  }
  if (strName[strPrefix.size() + kDateLen] != '.') return false;
  if (strName.compare(strPrefix.size() + kDateLen + 1, strExt.size(), strExt) != 0) return false;
  std::string strNumber = strName.substr(nBase);
  if (!std::all_of(strNumber.begin(), strNumber.end(), IsDigit)) return false;
  age.bSetAside = !strNumber.empty();
  strNumber.erase(0, std::min(strNumber.find_first_not_of('0'), strNumber.size()));
  age.strDate = strDate;
  age.strNumber = strNumber;
  return true;
}

}  // namespace

bool ScanLogDir(const char* szDir, const std::string& strPrefix, const std::string& strExt,
                const std::string& strCurrent, LogDirScan& scan) {
  scan = LogDirScan();
  std::vector<FsEntry> vecEntries;
  if (!FsFindEntries(szDir, "*", vecEntries)) return FsIsDirectory(szDir);
  std::vector<std::pair<CAge, LogDirFile>> vecOwn;
  for (const FsEntry& e : vecEntries) {
    if (e.bDirectory) continue;
    const std::string strPath =
        szDir[0] == '\0' ? e.strName : std::string(szDir) + g_cFsPathSep + e.strName;
    int64_t nSize = 0;
    if (!FsPeekFileSize64(strPath.c_str(), nSize) || nSize < 0) nSize = 0;
    scan.nTotal += nSize;
    CAge age;
    if (e.strName != strCurrent && ReadLogName(e.strName, strPrefix, strExt, age)) {
      vecOwn.push_back({age, LogDirFile{e.strName, nSize}});
    }
  }
  std::sort(vecOwn.begin(), vecOwn.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& own : vecOwn) scan.vecOldestFirst.push_back(std::move(own.second));
  return true;
}
