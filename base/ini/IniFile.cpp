#include "base/ini/IniFile.h"

#include <algorithm>
#include <fstream>
#include <istream>
#include <sstream>
#include <iterator>

namespace {

using RecordList = CIniFile::RecordList;

const char* const s_szBlanks = " \t\r\n";

std::string Trim(const std::string& str) {
  size_t nFirst = str.find_first_not_of(s_szBlanks);
  if (nFirst == std::string::npos) return std::string();
  size_t nLast = str.find_last_not_of(s_szBlanks);
  return str.substr(nFirst, nLast - nFirst + 1);
}

bool HasLineBreak(const std::string& str) {
  return str.find_first_of("\r\n") != std::string::npos;
}

bool IsSectionStorable(const std::string& strSection) {
  return !HasLineBreak(strSection) && strSection.find(']') == std::string::npos;
}

bool IsHeader(const CIniFile::Record& rec) { return rec.Key.empty(); }

bool Matches(const CIniFile::Record& rec, const std::string& strKey,
             const std::string& strSection) {
  return rec.Section == strSection && rec.Key == strKey;
}

RecordList::iterator FindRecord(RecordList& vecContent, const std::string& strKey,
                                const std::string& strSection) {
  return std::find_if(vecContent.begin(), vecContent.end(),
                      [&](const CIniFile::Record& rec) { return Matches(rec, strKey, strSection); });
}

RecordList::const_iterator FindRecord(const RecordList& vecContent, const std::string& strKey,
                                      const std::string& strSection) {
  return std::find_if(vecContent.begin(), vecContent.end(),
                      [&](const CIniFile::Record& rec) { return Matches(rec, strKey, strSection); });
}

// Comment text reads back as comments only: every line that is not blank
// starts with '#' or ';' (after blanks), and no '\r' can split a line.
bool IsCommentStorable(const std::string& strComments) {
  if (strComments.find('\r') != std::string::npos) return false;
  size_t nStart = 0;
  while (nStart < strComments.size()) {
    size_t nEnd = strComments.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = strComments.size();
    const std::string strLine = Trim(strComments.substr(nStart, nEnd - nStart));
    if (!strLine.empty() && strLine[0] != '#' && strLine[0] != ';') return false;
    nStart = nEnd + 1;
  }
  return true;
}

std::string WithLineEnd(const std::string& strComments) {
  if (strComments.empty() || strComments.back() == '\n') return strComments;
  return strComments + "\n";
}

// The record's own line, without its comments or line end.
std::string RecordLine(const CIniFile::Record& rec) {
  if (IsHeader(rec)) return "[" + rec.Section + "]";
  return rec.Key + "=" + rec.Value;
}

// Loads the file, applies a changing list operation and saves the result.
// bSaveOnlyOnSuccess: the operation's false result means "nothing changed"
// and is returned without writing.
template <typename Op>
bool ChangeFile(const std::string& strFileName, bool bSaveOnlyOnSuccess, Op op) {
  RecordList vecContent;
  if (!CIniFile::Load(strFileName, vecContent)) return false;
  bool bChanged = op(vecContent);
  if (bSaveOnlyOnSuccess && !bChanged) return false;
  return CIniFile::Save(strFileName, vecContent);
}

}  // namespace

bool CIniFile::Load(const std::string& strFileName, RecordList& vecContent) {
  // Binary mode: "\r\n" and "\n" files read the same on every platform, the
  // carriage return is trimmed with the other blanks.
  std::ifstream in(strFileName, std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;
  ReadRecords(in, vecContent);
  return true;
}

void CIniFile::LoadText(const std::string& strText, RecordList& vecContent) {
  std::istringstream in(strText, std::ios::in | std::ios::binary);
  ReadRecords(in, vecContent);
}

void CIniFile::ReadRecords(std::istream& in, RecordList& vecContent) {
  vecContent.clear();
  std::string strComments;
  std::string strSection;
  std::string strLine;
  while (std::getline(in, strLine)) {
    std::string strTrimmed = Trim(strLine);
    if (strTrimmed.empty()) continue;

    char cFirst = strTrimmed[0];
    if (cFirst == '#' || cFirst == ';') {
      strComments += strTrimmed;
      strComments += '\n';
      continue;
    }

    if (cFirst == '[') {
      size_t nClose = strTrimmed.find(']');
      if (nClose == std::string::npos) continue;  // not a header: skipped
      strSection = strTrimmed.substr(1, nClose - 1);
      vecContent.push_back(Record{strComments, strSection, std::string(), std::string()});
      strComments.clear();
      continue;
    }

    size_t nEquals = strTrimmed.find('=');
    if (nEquals == std::string::npos) continue;  // not a key line: skipped
    std::string strKey = Trim(strTrimmed.substr(0, nEquals));
    // A record with an empty key would stand for a header: skipped.
    if (strKey.empty()) continue;
    vecContent.push_back(Record{strComments, strSection, strKey, Trim(strTrimmed.substr(nEquals + 1))});
    strComments.clear();
  }
}


bool CIniFile::Save(const std::string& strFileName, const RecordList& vecContent) {
  // Text mode: the platform's line ends ("\r\n" on Windows).
  std::ofstream out(strFileName, std::ios::out | std::ios::trunc);
  if (!out.is_open()) return false;
  for (size_t i = 0; i < vecContent.size(); ++i) {
    const Record& rec = vecContent[i];
    if (IsHeader(rec) && i != 0) out << '\n';
    out << rec.Comments << RecordLine(rec) << '\n';
  }
  out.close();
  return !out.fail();
}

bool CIniFile::Create(const std::string& strFileName) { return Save(strFileName, RecordList()); }

std::string CIniFile::Content(const RecordList& vecContent) {
  std::string strContent;
  for (size_t i = 0; i < vecContent.size(); ++i) {
    if (i != 0) strContent += '\n';
    strContent += vecContent[i].Comments;
    strContent += RecordLine(vecContent[i]);
  }
  return strContent;
}

std::string CIniFile::Content(const std::string& strFileName) {
  RecordList vecContent;
  if (!Load(strFileName, vecContent)) return std::string();
  return Content(vecContent);
}

std::string CIniFile::GetValue(const std::string& strKey, const std::string& strSection,
                               const RecordList& vecContent, const char* szDefault) {
  auto it = FindRecord(vecContent, strKey, strSection);
  if (it != vecContent.end()) return it->Value;
  return szDefault != nullptr ? std::string(szDefault) : std::string();
}

std::string CIniFile::GetValue(const std::string& strKey, const std::string& strSection,
                               const std::string& strFileName, const char* szDefault) {
  RecordList vecContent;
  Load(strFileName, vecContent);  // an unreadable file leaves the list empty
  return GetValue(strKey, strSection, vecContent, szDefault);
}

bool CIniFile::IsStorable(const std::string& strSection, const std::string& strKey,
                          const std::string& strValue) {
  if (!IsSectionStorable(strSection) || HasLineBreak(strKey) || HasLineBreak(strValue)) {
    return false;
  }
  if (strKey.find('=') != std::string::npos) return false;
  std::string strTrimmedKey = Trim(strKey);
  if (strTrimmedKey.empty()) return false;
  char cFirst = strTrimmedKey[0];
  return cFirst != '#' && cFirst != ';' && cFirst != '[';
}

void CIniFile::SetValue(const std::string& strKey, const std::string& strValue,
                        const std::string& strSection, RecordList& vecContent) {
  if (!IsStorable(strSection, strKey, strValue)) return;

  auto itSection = std::find_if(vecContent.begin(), vecContent.end(),
                                [&](const Record& rec) { return rec.Section == strSection; });
  if (itSection == vecContent.end()) {
    vecContent.push_back(Record{std::string(), strSection, std::string(), std::string()});
    vecContent.push_back(Record{std::string(), strSection, strKey, strValue});
    return;
  }

  auto itRecord = FindRecord(vecContent, strKey, strSection);
  if (itRecord != vecContent.end()) {
    itRecord->Value = strValue;
    return;
  }

  // A new key follows the section's consecutive run of records.
  auto itEnd = std::find_if(itSection, vecContent.end(),
                            [&](const Record& rec) { return rec.Section != strSection; });
  vecContent.insert(itEnd, Record{std::string(), strSection, strKey, strValue});
}

bool CIniFile::SetValue(const std::string& strKey, const std::string& strValue,
                        const std::string& strSection, const std::string& strFileName) {
  if (!IsStorable(strSection, strKey, strValue)) return false;
  return ChangeFile(strFileName, false, [&](RecordList& vecContent) {
    SetValue(strKey, strValue, strSection, vecContent);
    return true;
  });
}

CIniFile::RecordList CIniFile::GetRecord(const std::string& strKey, const std::string& strSection,
                                         const RecordList& vecContent) {
  RecordList vecResult;
  auto it = FindRecord(vecContent, strKey, strSection);
  if (it != vecContent.end()) vecResult.push_back(*it);
  return vecResult;
}

CIniFile::RecordList CIniFile::GetRecord(const std::string& strKey, const std::string& strSection,
                                         const std::string& strFileName) {
  RecordList vecContent;
  if (!Load(strFileName, vecContent)) return RecordList();
  return GetRecord(strKey, strSection, vecContent);
}

bool CIniFile::RecordExists(const std::string& strKey, const std::string& strSection,
                            const RecordList& vecContent) {
  return FindRecord(vecContent, strKey, strSection) != vecContent.end();
}

bool CIniFile::RecordExists(const std::string& strKey, const std::string& strSection,
                            const std::string& strFileName) {
  RecordList vecContent;
  return Load(strFileName, vecContent) && RecordExists(strKey, strSection, vecContent);
}

bool CIniFile::SectionExists(const std::string& strSection, const RecordList& vecContent) {
  return std::any_of(vecContent.begin(), vecContent.end(),
                     [&](const Record& rec) { return rec.Section == strSection; });
}

bool CIniFile::SectionExists(const std::string& strSection, const std::string& strFileName) {
  RecordList vecContent;
  return Load(strFileName, vecContent) && SectionExists(strSection, vecContent);
}

CIniFile::RecordList CIniFile::GetSections(const RecordList& vecContent) {
  RecordList vecResult;
  std::copy_if(vecContent.begin(), vecContent.end(), std::back_inserter(vecResult), IsHeader);
  return vecResult;
}

CIniFile::RecordList CIniFile::GetSections(const std::string& strFileName) {
  RecordList vecContent;
  if (!Load(strFileName, vecContent)) return RecordList();
  return GetSections(vecContent);
}

std::vector<std::string> CIniFile::GetSectionNames(const RecordList& vecContent) {
  std::vector<std::string> vecNames;
  for (const Record& rec : vecContent) {
    if (IsHeader(rec)) vecNames.push_back(rec.Section);
  }
  return vecNames;
}

std::vector<std::string> CIniFile::GetSectionNames(const std::string& strFileName) {
  RecordList vecContent;
  if (!Load(strFileName, vecContent)) return std::vector<std::string>();
  return GetSectionNames(vecContent);
}

CIniFile::RecordList CIniFile::GetSection(const std::string& strSection,
                                          const RecordList& vecContent) {
  RecordList vecResult;
  std::copy_if(vecContent.begin(), vecContent.end(), std::back_inserter(vecResult),
               [&](const Record& rec) { return rec.Section == strSection && !IsHeader(rec); });
  return vecResult;
}

CIniFile::RecordList CIniFile::GetSection(const std::string& strSection,
                                          const std::string& strFileName) {
  RecordList vecContent;
  if (!Load(strFileName, vecContent)) return RecordList();
  return GetSection(strSection, vecContent);
}

void CIniFile::AddSection(const std::string& strSection, RecordList& vecContent) {
  if (!IsSectionStorable(strSection) || SectionExists(strSection, vecContent)) return;
  vecContent.push_back(Record{std::string(), strSection, std::string(), std::string()});
}

bool CIniFile::AddSection(const std::string& strSection, const std::string& strFileName) {
  if (!IsSectionStorable(strSection)) return false;
  return ChangeFile(strFileName, false, [&](RecordList& vecContent) {
    AddSection(strSection, vecContent);
    return true;
  });
}

void CIniFile::RenameSection(const std::string& strOldSection, const std::string& strNewSection,
                             RecordList& vecContent) {
  if (!IsSectionStorable(strNewSection)) return;
  for (Record& rec : vecContent) {
    if (rec.Section == strOldSection) rec.Section = strNewSection;
  }
}

bool CIniFile::RenameSection(const std::string& strOldSection, const std::string& strNewSection,
                             const std::string& strFileName) {
  if (!IsSectionStorable(strNewSection)) return false;
  return ChangeFile(strFileName, false, [&](RecordList& vecContent) {
    RenameSection(strOldSection, strNewSection, vecContent);
    return true;
  });
}

void CIniFile::DeleteSection(const std::string& strSection, RecordList& vecContent) {
  vecContent.erase(std::remove_if(vecContent.begin(), vecContent.end(),
                                  [&](const Record& rec) { return rec.Section == strSection; }),
                   vecContent.end());
}

bool CIniFile::DeleteSection(const std::string& strSection, const std::string& strFileName) {
  return ChangeFile(strFileName, false, [&](RecordList& vecContent) {
    DeleteSection(strSection, vecContent);
    return true;
  });
}

bool CIniFile::DeleteRecord(const std::string& strKey, const std::string& strSection,
                            RecordList& vecContent) {
  auto it = FindRecord(vecContent, strKey, strSection);
  if (it == vecContent.end()) return false;
  vecContent.erase(it);
  return true;
}

bool CIniFile::DeleteRecord(const std::string& strKey, const std::string& strSection,
                            const std::string& strFileName) {
  return ChangeFile(strFileName, true, [&](RecordList& vecContent) {
    return DeleteRecord(strKey, strSection, vecContent);
  });
}

bool CIniFile::SetSectionComments(const std::string& strComments, const std::string& strSection,
                                  RecordList& vecContent) {
  if (!IsCommentStorable(strComments)) return false;
  for (Record& rec : vecContent) {
    if (IsHeader(rec) && rec.Section == strSection) rec.Comments = WithLineEnd(strComments);
  }
  return true;
}

bool CIniFile::SetSectionComments(const std::string& strComments, const std::string& strSection,
                                  const std::string& strFileName) {
  if (!IsCommentStorable(strComments)) return false;
  return ChangeFile(strFileName, false, [&](RecordList& vecContent) {
    return SetSectionComments(strComments, strSection, vecContent);
  });
}

bool CIniFile::SetRecordComments(const std::string& strComments, const std::string& strKey,
                                 const std::string& strSection, RecordList& vecContent) {
  if (!IsCommentStorable(strComments)) return false;
  auto it = FindRecord(vecContent, strKey, strSection);
  if (it == vecContent.end()) return false;
  it->Comments = WithLineEnd(strComments);
  return true;
}

bool CIniFile::SetRecordComments(const std::string& strComments, const std::string& strKey,
                                 const std::string& strSection, const std::string& strFileName) {
  return ChangeFile(strFileName, true, [&](RecordList& vecContent) {
    return SetRecordComments(strComments, strKey, strSection, vecContent);
  });
}

bool CIniFile::Sort(const std::string& strFileName, bool bDescending) {
  RecordList vecContent;
  if (!Load(strFileName, vecContent)) return false;
  RecordList vecHeaders = GetSections(vecContent);
  if (vecHeaders.empty()) return false;

  auto byName = [bDescending](const std::string& a, const std::string& b) {
    return bDescending ? b < a : a < b;
  };
  // One header per section name (the first one, with its comments): every
  // header would otherwise bring all the section's keys with it again.
  std::stable_sort(vecHeaders.begin(), vecHeaders.end(),
                   [&](const Record& a, const Record& b) { return byName(a.Section, b.Section); });
  vecHeaders.erase(std::unique(vecHeaders.begin(), vecHeaders.end(),
                               [](const Record& a, const Record& b) { return a.Section == b.Section; }),
                   vecHeaders.end());

  RecordList vecSorted;
  vecSorted.reserve(vecContent.size());
  for (const Record& header : vecHeaders) {
    vecSorted.push_back(header);
    RecordList vecKeys = GetSection(header.Section, vecContent);
    std::stable_sort(vecKeys.begin(), vecKeys.end(),
                     [&](const Record& a, const Record& b) { return byName(a.Key, b.Key); });
    vecSorted.insert(vecSorted.end(), vecKeys.begin(), vecKeys.end());
  }
  return Save(strFileName, vecSorted);
}
